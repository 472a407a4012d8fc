#pragma once

#include <string>
#include <string_view>

namespace zv {

// The module keeps Windows-style paths as the operator typed them ("C:\VELD\x.zvf") and maps them
// to the file system only at the boundary, here.

// $ZORVIDEO_ROOT, else $XDG_DATA_HOME/zorvideo, else ~/.local/share/zorvideo. Read on every call so
// that tests can point it at a temporary folder.
std::string zorvideoRoot();

// The file-system path of a name as the operator or cnf.INI gives it. Every file-system call of
// the module goes through this.
// - A drive path ("C:\VELD\x.zvf", "c:/VELD/x.zvf") maps to "<root>/drive_c/VELD/x.zvf". As on
//   the original platform it ignores case: each component names the existing entry that matches
//   it exactly, else one that matches regardless of case; from the first component that matches
//   nothing on, the rest keeps the case as typed.
// - Any other Windows path (a network path "\\server\share\x.zvf", a rooted "\x.zvf", a relative
//   "rec\x.zvf": backslashes and no '/') names no file here: the result is empty, on which every
//   file-system call fails with "no such file", so nothing is ever created for it.
// - A native path (absolute or relative, the command line's) passes unchanged.
std::string nativePath(std::string_view path);

// nativePath for opening a file: throws zv::Error "Не удается открыть файл \"<path>\": <reason>"
// (the system's text for a missing file) where nativePath gives nothing.
std::string nativeFilePath(std::string_view path);

// True for a Windows path that is not a drive path (see nativePath).
bool isUnmappedWindowsPath(std::string_view path);

// The inverse of the drive mapping, for names chosen in file dialogs: a native path under
// "<root>/drive_<x>" becomes "X:\…" with backslashes; any other path is returned unchanged.
std::string operatorPath(std::string_view native);

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
