#pragma once

#include <string>
#include <string_view>

namespace zv {

// The module keeps Windows-style paths as the operator typed them ("C:\VELD\x.zvf") and maps them
// to the file system only at the boundary, here.

// $ZORVIDEO_ROOT, else $XDG_DATA_HOME/zorvideo, else ~/.local/share/zorvideo. Read on every call so
// that tests can point it at a temporary folder.
std::string zorvideoRoot();

// "C:\VELD\x.zvf" or "c:/VELD/x.zvf" -> "<root>/drive_c/VELD/x.zvf"; any other path passes
// unchanged. Every file-system call of the module goes through this.
std::string nativePath(std::string_view path);

// True when the path begins with a drive letter and a colon.
bool hasDriveLetter(std::string_view path);

// Everything up to and including the last '\', '/' or drive colon; empty when there is none.
std::string folderPart(std::string_view path);

// What follows the folder part.
std::string fileNamePart(std::string_view path);

// "C:" for a drive path, "\\server\share" for a network path, empty otherwise.
std::string drivePart(std::string_view path);

// The Windows folder as the module names it: "C:\WINDOWS".
std::string windowsFolder();

// Existence checks on the mapped path. fileExists is false for folders.
bool fileExists(std::string_view path);
bool directoryExists(std::string_view path);

}  // namespace zv
