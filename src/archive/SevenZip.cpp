#include "archive/SevenZip.h"

#include "archive/SevenZipAbi.h"
#include "archive/SevenZipAdapters.h"
#include "archive/SharedLibrary.h"
#include "platform/File.h"
#include "platform/Paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <set>
#include <utility>

using namespace zv::sevenzip;

namespace {

constexpr const char *kLoadErrorText =
    "Could not load CreateObject function from 7za.dll\r\nPerhaps 7za.dll not found";
constexpr const char *kDefaultLibrary = "/usr/lib/p7zip/7z.so";

constexpr std::array<const char *, 12> kMessages = {
    "Success",
    "File not found",
    "Data Error",
    "CRC Error",
    "Unsupported Method",
    "Index out of Range",
    "User canceled operation",
    "File is not an 7z SFX archive",
    "SFXModule error ( Not found )",
    "Could not create SFX",
    "No files to add",
    "Could not create file",
};

// $ZORVIDEO_7Z_LIBRARY when set (and then only that), else the usual search, else p7zip's place.
zv::SharedLibrary loadLibrary() {
    if (const char *chosen = std::getenv("ZORVIDEO_7Z_LIBRARY"); chosen && *chosen)
        return zv::SharedLibrary::open(chosen);
    zv::SharedLibrary library = zv::SharedLibrary::open("7z.so");
    if (!library)
        library = zv::SharedLibrary::open(kDefaultLibrary);
    return library;
}

// Our interface declarations have no virtual destructor in IUnknown; a library built with one
// (p7zip, 7-Zip before 23 on Linux) would shift every method slot.
bool interfacesMatch(GetModulePropFn *getModuleProp, VariantClearFn *variantClear) {
    if (!getModuleProp)
        return false;
    PROPVARIANT value{};
    value.vt = VT_EMPTY;
    if (getModuleProp(kModulePropInterfaceType, &value) != S_OK)
        return false;
    const bool match = value.vt == VT_UI4 && value.ulVal == 0;
    if (variantClear)
        variantClear(&value);
    return match;
}

std::string nativeName(const std::wstring &name) {
    return zv::nativePath(zv::wideToUtf8(name));
}

uint64_t fileTimeOf(const struct stat &st) {
    constexpr uint64_t kSecondsFrom1601To1970 = 11644473600ull;
    const auto seconds = static_cast<uint64_t>(static_cast<int64_t>(st.st_mtim.tv_sec) +
                                               static_cast<int64_t>(kSecondsFrom1601To1970));
    return seconds * 10000000ull + static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100;
}

// Windows attribute bits and 7-Zip's Unix extension (0x8000 and the mode in the high word), so
// that extraction restores the permissions.
uint32_t attributesOf(const struct stat &st) {
    uint32_t attributes = S_ISDIR(st.st_mode) ? 0x10u : 0x20u;
    if ((st.st_mode & 0222) == 0)
        attributes |= 0x01u;
    return attributes | 0x8000u | ((static_cast<uint32_t>(st.st_mode) & 0xFFFFu) << 16);
}

// The separator a name already uses: Windows-style names keep '\', native names '/'.
wchar_t separatorOf(const std::wstring &name) {
    const bool drive = name.size() >= 2 && name[1] == L':';
    if (drive)
        return L'\\';
    if (name.find(L'/') != std::wstring::npos)
        return L'/';
    return name.find(L'\\') != std::wstring::npos ? L'\\' : L'/';
}

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// Entries of a folder, "." and ".." left out, sorted so that archives do not depend on the
// order in which the file system lists them.
std::vector<std::string> listFolder(const std::string &folder) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return names;
    while (dirent *entry = ::readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A native relative name as the absolute one it names now ("x.zvf" in /home/op is
// /home/op/x.zvf), so that its item path is formed as for any absolute name: from the working
// folder, not from wherever "../" leads. Drive paths and absolute names stay as given.
std::wstring absoluteName(const std::wstring &name) {
    if (name.empty() || isSeparator(name.front()) || (name.size() >= 2 && name[1] == L':'))
        return name;
    char folder[PATH_MAX];
    if (!::getcwd(folder, sizeof folder))
        return name;
    std::wstring absolute = zv::utf8ToWide(folder);
    if (absolute.empty() || absolute.back() != L'/')
        absolute += L'/';
    return absolute + name;
}

bool maskAccepts(const std::wstring &mask, const std::wstring &fileName) {
    if (mask == L".*")
        return true;
    const size_t dot = fileName.rfind(L'.');
    const std::wstring extension =
        dot == std::wstring::npos ? std::wstring() : fileName.substr(dot);
    return extension == mask;
}

class ItemCollector {
public:
    ItemCollector(TSevenZip &owner, TMyArchiveUpdateCallback &callback)
        : owner_(owner), callback_(callback) {}

    // A name looked up as it stands: one item when it exists as a file or a folder.
    void addName(const std::wstring &name) {
        struct stat st {};
        if (::stat(nativeName(name).c_str(), &st) != 0)
            return;
        add(absoluteName(name), st);
    }

    void addMask(const std::wstring &entry) {
        const size_t star = entry.find(L'*');
        std::wstring folder = entry.substr(0, star);
        const wchar_t separator = separatorOf(folder.empty() ? entry : folder);
        if (!folder.empty() && !isSeparator(folder.back()))
            folder += separator;
        const std::wstring mask = entry.substr(star + 1, 8);

        struct stat st {};
        const std::string native = nativeName(folder.empty() ? L"." : folder);
        if (::stat(native.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return;
        std::wstring folderItem = folder;
        while (!folderItem.empty() && isSeparator(folderItem.back()))
            folderItem.pop_back();
        if (!folderItem.empty() && !callback_.StripRootAndDrive(folderItem).empty())
            add(folderItem, st);
        listInto(folder, separator, mask, st);
    }

private:
    void add(const std::wstring &name, const struct stat &st) {
        if (S_ISDIR(st.st_mode))
            callback_.AddItem(name, 0, fileTimeOf(st), attributesOf(st));
        else if (S_ISREG(st.st_mode))  // a pipe or device could block the library for ever
            callback_.AddItem(name, st.st_size, fileTimeOf(st), attributesOf(st));
    }

    void listInto(const std::wstring &folder, wchar_t separator, const std::wstring &mask,
                  const struct stat &folderStat) {
        // A symbolic link back up the tree would otherwise recurse without end.
        if (!visited_.insert({folderStat.st_dev, folderStat.st_ino}).second)
            return;
        const std::string native = nativeName(folder.empty() ? L"." : folder);
        const std::string prefix = native.empty() || native.back() == '/' ? native : native + "/";
        for (const std::string &entry : listFolder(native)) {
            if (owner_.CancelRequested.load())
                return;
            struct stat st {};
            if (::stat((prefix + entry).c_str(), &st) != 0)
                continue;
            const std::wstring wideEntry = zv::utf8ToWide(entry);
            const std::wstring name = folder + wideEntry;
            if (S_ISDIR(st.st_mode)) {
                if (!owner_.AddOptions.contains(AddOptsEnum::AddStoreOnlyFilename))
                    add(name, st);
                if (owner_.AddOptions.contains(AddOptsEnum::AddRecurseDirs))
                    listInto(name + separator, separator, mask, st);
            } else if (S_ISREG(st.st_mode) && maskAccepts(mask, wideEntry)) {
                add(name, st);
            }
        }
    }

    TSevenZip &owner_;
    TMyArchiveUpdateCallback &callback_;
    std::set<std::pair<dev_t, ino_t>> visited_;
};

// The properties "X"/"s"/"d" (LZMA) or "0"/"o"/"mem" (PPMd), and "he"; all in one call, since
// every call of SetProperties starts from the defaults.
HRESULT passProperties(ISetProperties &properties, const TSevenZip &archive,
                       const LibraryStrings &strings) {
    std::vector<const wchar_t *> names;
    std::vector<PROPVARIANT> values;
    std::vector<BSTR> owned;
    auto addNumber = [&](const wchar_t *name, uint32_t number) {
        PROPVARIANT value{};
        value.vt = VT_UI4;
        value.ulVal = number;
        names.push_back(name);
        values.push_back(value);
    };
    auto addText = [&](const wchar_t *name, const wchar_t *text) {
        PROPVARIANT value{};
        value.vt = VT_BSTR;
        value.bstrVal = strings.make(text);
        owned.push_back(value.bstrVal);
        names.push_back(name);
        values.push_back(value);
    };

    if (archive.LZMACompressType == TCompressType::LZMA) {
        static constexpr uint32_t kLevels[] = {0, 3, 5, 7, 9};
        addNumber(L"X", kLevels[static_cast<int>(archive.LZMACompressStrength)]);
        addText(L"s", archive.AddOptions.contains(AddOptsEnum::AddSolid) ? L"on" : L"off");
        if (archive.LZMAStrength != 0)
            addNumber(L"d", static_cast<uint32_t>(archive.LZMAStrength));
    } else {
        addText(L"0", L"PPMd");
        if (archive.LPPMDsize != 0)
            addNumber(L"o", 10);
        if (archive.LPPMDmem != 0)
            addNumber(L"mem", 30);
    }
    if (!archive.Password.empty() && archive.AddOptions.contains(AddOptsEnum::AddEncryptFilename))
        addText(L"he", L"on");

    HRESULT result = E_FAIL;
    if (std::find(owned.begin(), owned.end(), nullptr) == owned.end())
        result = properties.SetProperties(names.data(), values.data(),
                                          static_cast<uint32_t>(names.size()));
    for (BSTR text : owned)
        strings.release(text);
    return result;
}

// "x.7z" -> "x.exe"; the extension is what follows the last '.' of the file name.
std::wstring withExeExtension(const std::wstring &name) {
    const size_t lastSeparator = name.find_last_of(L"\\/");
    const size_t dot = name.rfind(L'.');
    const bool hasExtension =
        dot != std::wstring::npos && (lastSeparator == std::wstring::npos || dot > lastSeparator);
    return (hasExtension ? name.substr(0, dot) : name) + L".exe";
}

// Copies source into a new file target, failing when target exists; 0 or the errno.
int copyStream(int in, int out) {
    char buffer[64 * 1024];
    for (;;) {
        ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return 0;
        ssize_t done = 0;
        while (done < n) {
            ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return w < 0 ? errno : ENOSPC;
            done += w;
        }
    }
}

int copyNewFile(const std::string &source, const std::string &target) {
    zv::UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid())
        return errno;
    zv::UniqueFd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0777));
    if (!out.valid())
        return errno;
    const int err = copyStream(in.get(), out.get());
    if (err != 0)
        ::unlink(target.c_str());  // a cut stub is of no use to anyone
    return err;
}

}  // namespace

std::string SevenZipErrorMessage(int32_t code) {
    if (code < 0 || code >= static_cast<int32_t>(kMessages.size()))
        return {};
    return kMessages[static_cast<size_t>(code)];
}

struct TSevenZip::Library {
    // Declared first so that it is closed after the objects below are released.
    zv::SharedLibrary library;
    CreateObjectFn *createObject = nullptr;
    LibraryStrings strings;
    ComPtr<IInArchive> inArchive;
    ComPtr<IOutArchive> outArchive;
    ComPtr<ISetProperties> setProperties;
};

TSevenZip::TSevenZip(QObject *owner) : QObject(owner), FLibrary(std::make_unique<Library>()) {
    Library &lib = *FLibrary;
    lib.library = loadLibrary();
    if (lib.library)
        lib.createObject = lib.library.symbol<CreateObjectFn>("CreateObject");
    if (!lib.createObject || !interfacesMatch(lib.library.symbol<GetModulePropFn>("GetModuleProp"),
                                              lib.library.symbol<VariantClearFn>("VariantClear")))
        throw zv::Error(kLoadErrorText);
    lib.strings.alloc = lib.library.symbol<SysAllocStringLenFn>("SysAllocStringLen");
    lib.strings.free = lib.library.symbol<SysFreeStringFn>("SysFreeString");
    if (!lib.strings.alloc || !lib.strings.free)
        lib.strings = LibraryStrings{};

    lib.createObject(&CLSID_Format7z, &IID_IInArchive, lib.inArchive.out());
    lib.createObject(&CLSID_Format7z, &IID_IOutArchive, lib.outArchive.out());
    // The 7z class answers ISetProperties only through its IOutArchive object.
    if (lib.outArchive)
        lib.outArchive->QueryInterface(IID_ISetProperties, lib.setProperties.out());
}

TSevenZip::~TSevenZip() {
    VolumeNames.clear();
    FLibrary.reset();
    Files.Clear();
}

void TSevenZip::reportError(int32_t code, const std::wstring &fileName) {
    LastErrCode = code;
    if (OnMessage)
        OnMessage(this, code, SevenZipErrorMessage(code), fileName);
}

void TSevenZip::SetSFXCreate(bool value) {
    FSFXCreate = false;
    if (!value)
        return;
    struct stat st {};
    const int64_t size = ::stat(nativeName(SFXModule).c_str(), &st) == 0 && S_ISREG(st.st_mode)
                             ? static_cast<int64_t>(st.st_size)
                             : 0;
    if (size <= 0)
        return;
    FSFXCreate = true;
    SFXModuleSize = size;
    if (FVolumeSize > 0 && FVolumeSize < size + 7)
        FVolumeSize = static_cast<int32_t>(size + 7);
}

void TSevenZip::SetVolumeSize(int32_t value) {
    if (FSFXCreate && value > 0 && value < SFXModuleSize)
        value = static_cast<int32_t>(SFXModuleSize + 7);
    FVolumeSize = value;
}

int32_t TSevenZip::AddFiles() {
    struct CancelReset {
        std::atomic<bool> &flag;
        ~CancelReset() { flag = false; }
    } cancelReset{CancelRequested};
    CancelRequested = false;
    VolumeNames.clear();

    Library &lib = *FLibrary;
    auto callback =
        ComPtr<TMyArchiveUpdateCallback>::adopt(new TMyArchiveUpdateCallback(*this, lib.strings));
    AddRootDir = zv::wideUpper(AddRootDir);
    callback->RootDir = AddRootDir;
    if (!AddRootDir.empty() && !isSeparator(AddRootDir.back()))
        callback->RootDir += separatorOf(AddRootDir);

    ItemCollector collector(*this, *callback);
    for (const std::wstring &name : Files.Strings) {
        if (!NoFolderMasks && name.find(L'*') != std::wstring::npos)
            collector.addMask(name);
        else
            collector.addName(name);
    }
    callback->ItemNames.shrink_to_fit();
    callback->ItemSizes.shrink_to_fit();
    callback->ItemTimes.shrink_to_fit();
    callback->ItemAttributes.shrink_to_fit();
    if (OnPreProgress)
        OnPreProgress(this, callback->TotalSize());

    if (!lib.outArchive)
        return E_NOINTERFACE;

    bool appendToSfx = false;
    if (FSFXCreate && ::access(nativeName(SFXModule).c_str(), F_OK) == 0) {
        SZFileName = withExeExtension(SZFileName);
        const int err = copyNewFile(nativeName(SFXModule), nativeName(SZFileName));
        if (err != 0) {
            LastOSError = err;
            reportError(SZ_CANNOT_CREATE_SFX, SZFileName);
            return E_FAIL;
        }
        appendToSfx = true;
    }
    const uint32_t volumeSize = FVolumeSize > 0 ? static_cast<uint32_t>(FVolumeSize) : 0;
    ComPtr<TMyStreamWriter> writer;
    try {
        writer = ComPtr<TMyStreamWriter>::adopt(
            new TMyStreamWriter(SZFileName, volumeSize, appendToSfx, &LastOSError));
    } catch (const TSevenZipAbort &abort) {
        LastOSError = abort.OSError;
        // The stub copied above is not an archive: nothing of this build stays.
        if (appendToSfx)
            removeArchiveFiles({SZFileName});
        throw;
    }

    ComPtr<ISetProperties> properties;
    if (lib.outArchive->QueryInterface(IID_ISetProperties, properties.out()) == S_OK)
        passProperties(*properties, *this, lib.strings);
    properties.reset();

    HRESULT result = S_OK;
    const uint32_t count = callback->ItemCount();
    if (count > 0) {
        result = lib.outArchive->UpdateItems(writer.get(), count, callback.get());
        // A failure the library passed over (a handler that threw, a write error answered
        // late) must not read as success.
        if (result == S_OK && (callback->HandlerFailed() || writer->volumes().lastOSError() != 0))
            result = E_FAIL;
    } else {
        reportError(SZ_NO_FILES_TO_ADD, std::wstring());
        result = -1;
    }

    std::vector<std::wstring> written = writer->volumes().volumeNames();
    writer.reset();
    callback.reset();
    if (result != S_OK && count > 0) {
        // A partial archive is not an archive; leave nothing the caller could mistake for one.
        removeArchiveFiles(written);
        written.clear();
    }
    VolumeNames = std::move(written);
    return result;
}
