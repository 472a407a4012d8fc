#pragma once

// TSevenZip packs files into a 7z archive through 7-Zip's archiver library (7z.so), which it
// loads at run time. The usual call:
//
//     TSevenZip archive;                       // throws zv::Error when the library is missing
//     archive.SZFileName = zv::utf8ToWide(target + ".7z");
//     archive.LZMACompressStrength = TCompressStrength::NORMAL;
//     archive.SetVolumeSize(0);
//     archive.Files.Add(zv::utf8ToWide(target));
//     int32_t result = archive.AddFiles();     // 0 = success
//
// Names are std::wstring of UTF-16 code units (see WideString.h). Names may be Windows-style
// ("C:\Exp\a.zvf", mapped with zv::nativePath for every file access) or native.

#include "archive/ArchiveVolumes.h"
#include "archive/WideString.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace zv::sevenzip {
class TMyArchiveUpdateCallback;
}

// A small set of enum values (bit i = value i), like the original component's Pascal sets.
template <class E>
class TEnumSet {
public:
    constexpr TEnumSet() = default;
    constexpr TEnumSet(std::initializer_list<E> values) {
        for (E v : values)
            insert(v);
    }
    constexpr bool contains(E v) const { return (bits_ >> static_cast<unsigned>(v)) & 1u; }
    constexpr void insert(E v) { bits_ |= 1u << static_cast<unsigned>(v); }
    constexpr void erase(E v) { bits_ &= ~(1u << static_cast<unsigned>(v)); }
    constexpr bool empty() const { return bits_ == 0; }
    constexpr uint32_t bits() const { return bits_; }

private:
    uint32_t bits_ = 0;
};

enum class AddOptsEnum {
    AddRecurseDirs,
    AddSolid,
    AddStoreOnlyFilename,
    AddIncludeDriveLetter,
    AddEncryptFilename
};
enum class ExtractOptsEnum { ExtractNoPath, ExtractOverwrite };
enum class TCompressType { LZMA, PPMD };
enum class TCompressStrength { SAVE, FAST, NORMAL, MAXIMUM, ULTRA };

using TAddOpts = TEnumSet<AddOptsEnum>;
using TExtractOpts = TEnumSet<ExtractOptsEnum>;
using TLZMAStrength = int32_t;  // 0..27
using TPPMDMem = int32_t;       // 1..31, 0 = unset
using TPPMDSize = int32_t;      // 2..32, 0 = unset
using TWideStringArray = std::vector<std::wstring>;

// A list of wide strings whose Count always equals the array's length.
class TWideStringList_ {
public:
    void Add(const std::wstring &text) {
        Strings.push_back(text);
        Count = static_cast<int32_t>(Strings.size());
    }
    void Clear() {
        Strings.clear();
        Count = 0;
    }

    TWideStringArray Strings;
    int32_t Count = 0;
};

// Codes of LastErrCode and OnMessage, and their fixed messages.
enum TSevenZipErrorCode : int32_t {
    SZ_OK = 0,
    SZ_FILE_NOT_FOUND = 1,
    SZ_DATA_ERROR = 2,
    SZ_CRC_ERROR = 3,
    SZ_UNSUPPORTED_METHOD = 4,
    SZ_INDEX_OUT_OF_RANGE = 5,
    SZ_USER_CANCELED = 6,
    SZ_NOT_SFX = 7,
    SZ_SFX_MODULE_ERROR = 8,
    SZ_CANNOT_CREATE_SFX = 9,
    SZ_NO_FILES_TO_ADD = 10,
    SZ_CANNOT_CREATE_FILE = 11,
};
// The message of a code ("Success" … "Could not create file"); empty outside 0..11.
std::string SevenZipErrorMessage(int32_t code);

class TSevenZip;

// Events. They are called only while AddFiles runs, from the thread that 7-Zip's library uses
// for the call in question: usually the caller's thread, but the library runs some work on its
// own threads, so handlers must be thread-safe (reach a window through a queued connection).
// A handler that throws stops the archive build as a failure.
using TSevenZipProgressEvent = std::function<void(TSevenZip *Sender, const std::wstring &Filename,
                                                  int64_t FilePosArc, int64_t FilePosFile)>;
using TSevenZipPreProgressEvent = std::function<void(TSevenZip *Sender, int64_t MaxProgress)>;
using TSevenZipAddFileEvent =
    std::function<void(TSevenZip *Sender, const std::wstring &Filename, int64_t Filesize)>;
using TSevenZipExtractFileEvent = TSevenZipAddFileEvent;
using TSevenZipMessageEvent = std::function<void(
    TSevenZip *Sender, int32_t ErrCode, const std::string &Message, const std::wstring &Filename)>;
using TSevenZipSetNameEvent =
    std::function<void(TSevenZip *Sender, uint32_t FileIndex, std::wstring &OldFileName)>;
using TSevenZipOpenVolumeEvent =
    std::function<void(std::wstring &arcFileName, bool Removable, bool &Cancel)>;
using TSevenZipListFileEvent =
    std::function<void(TSevenZip *Sender, const std::wstring &Filename, int64_t Fileindex,
                       int64_t FileSizeU, int64_t FileSizeP, int64_t Fileattr, int64_t Filecrc,
                       const std::wstring &Filemethod, double FileTime)>;
using TSevenZipExtractOverwriteEvent =
    std::function<void(TSevenZip *Sender, const std::wstring &FileName, bool &DoOverwrite)>;

// The archive writer. Not copyable; one AddFiles at a time per object. The owner (a QObject)
// destroys it with itself; without one the caller owns it.
class TSevenZip : public QObject {
public:
    // Loads the library ($ZORVIDEO_7Z_LIBRARY, else "7z.so" by the usual search, else
    // /usr/lib/p7zip/7z.so) and creates the 7z handler objects. Throws zv::Error with the
    // two-line text "Could not load CreateObject function from 7za.dll\r\nPerhaps 7za.dll not
    // found" when the library, its CreateObject or a compatible interface is missing.
    explicit TSevenZip(QObject *owner = nullptr);
    ~TSevenZip() override;
    TSevenZip(const TSevenZip &) = delete;
    TSevenZip &operator=(const TSevenZip &) = delete;

    // Packs the items named by Files into SZFileName. Returns 0 on success, -1 when no item was
    // found (the archive file has been created and stays, empty), otherwise the library's
    // result code (negative OLE codes; 1 = stopped). A build that fails or is cancelled leaves
    // no archive file or volume behind. Throws TSevenZipAbort when the first archive file
    // cannot be created (its errno also goes to LastOSError). Upper-cases AddRootDir; with an SFX
    // build changes SZFileName's extension to ".exe". A native relative name is stored as the
    // absolute name it stands for now, and no item path holds "." or ".." components: an item
    // never lands outside the folder it is extracted into.
    int32_t AddFiles();

    // Published properties, in declaration order, with their initial values.
    std::wstring AddRootDir;
    bool SFXCreate() const { return FSFXCreate; }
    // On: measures SFXModule; the flag turns on only when the module exists and is not empty.
    void SetSFXCreate(bool value);
    std::wstring SFXModule = L"7z.sfx";
    TAddOpts AddOptions;
    TExtractOpts ExtractOptions;  // kept only; the module does not extract
    std::wstring ExtrBaseDir;     // kept only
    TCompressType LZMACompressType = TCompressType::LZMA;
    TCompressStrength LZMACompressStrength = TCompressStrength::SAVE;
    TLZMAStrength LZMAStrength = 0;
    TPPMDMem LPPMDmem = 0;
    TPPMDSize LPPMDsize = 0;
    std::wstring SZFileName;
    int32_t NumberOfFiles = -1;
    int32_t VolumeSize() const { return FVolumeSize; }
    // Bytes per volume, 0 = a single archive file. With SFXCreate on, a size above 0 that
    // could not hold the stub is raised to SFXModuleSize + 7.
    void SetVolumeSize(int32_t value);
    std::wstring Password;
    // Every name of Files is a file or folder name as it stands, never a folder mask: "*" is an
    // ordinary character of Linux file names. Off by default (a name with "*" is then a folder
    // mask); the range export sets it for its target.
    bool NoFolderMasks = false;

    TSevenZipListFileEvent OnListfile;
    TSevenZipAddFileEvent OnAddfile;
    TSevenZipExtractFileEvent OnExtractfile;
    TSevenZipProgressEvent OnProgress;
    TSevenZipPreProgressEvent OnPreProgress;
    TSevenZipMessageEvent OnMessage;
    TSevenZipSetNameEvent OnSetAddName;
    TSevenZipSetNameEvent OnSetExtractName;
    TSevenZipExtractOverwriteEvent OnExtractOverwrite;
    TSevenZipOpenVolumeEvent OnOpenVolume;

    // Names to add, in order.
    TWideStringList_ Files;
    // Set from any thread to stop a running AddFiles at its next progress report; cleared at the
    // start and the end of AddFiles.
    std::atomic<bool> CancelRequested{false};
    std::atomic<int32_t> LastErrCode{0};
    // errno of the last failed SFX copy or file access of a stream adapter.
    std::atomic<int32_t> LastOSError{0};
    // The archive files written by the last AddFiles, in order (empty after a failed build).
    std::vector<std::wstring> VolumeNames;
    int64_t SFXModuleSize = 0;

private:
    friend class zv::sevenzip::TMyArchiveUpdateCallback;

    // Reports a code with its message to OnMessage and LastErrCode.
    void reportError(int32_t code, const std::wstring &fileName);

    struct Library;
    std::unique_ptr<Library> FLibrary;
    bool FSFXCreate = false;
    int32_t FVolumeSize = 0;
};
