#include "archive/SevenZipAdapters.h"

#include "archive/WideString.h"
#include "platform/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace zv::sevenzip {

namespace {

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool isLatinLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// A '/'-separated item path without "." components and without "..", which takes the component
// before it away (or nothing, at the start): an item never lies outside the folder it is
// extracted into. Leading separators (a network path's) stay; empty components and trailing
// separators go.
std::wstring withoutDotComponents(const std::wstring &path) {
    size_t at = 0;
    while (at < path.size() && path[at] == L'/')
        ++at;
    std::vector<std::wstring> parts;
    while (at < path.size()) {
        size_t end = path.find(L'/', at);
        if (end == std::wstring::npos)
            end = path.size();
        const std::wstring part = path.substr(at, end - at);
        if (part == L"..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != L".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    std::wstring result = path.substr(0, std::min(path.find_first_not_of(L'/'), path.size()));
    if (parts.empty())
        return result.empty() ? result : std::wstring(1, L'/');
    for (size_t i = 0; i < parts.size(); ++i)
        result += (i == 0 ? L"" : L"/") + parts[i];
    return result;
}

void clearValue(PROPVARIANT *value) {
    std::memset(value, 0, sizeof *value);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

BSTR LibraryStrings::make(const std::wstring &text) const noexcept {
    const auto length = static_cast<uint32_t>(text.size());
    if (alloc)
        return alloc(text.c_str(), length);
    // Same layout as the library's own: byte length, text, terminator.
    auto *block =
        static_cast<uint32_t *>(std::malloc(sizeof(uint32_t) + (length + 1) * sizeof(wchar_t)));
    if (!block)
        return nullptr;
    block[0] = length * sizeof(wchar_t);
    auto *chars = reinterpret_cast<wchar_t *>(block + 1);
    std::memcpy(chars, text.c_str(), (length + 1) * sizeof(wchar_t));
    return chars;
}

void LibraryStrings::release(BSTR text) const noexcept {
    if (!text)
        return;
    if (free) {
        free(text);
        return;
    }
    std::free(reinterpret_cast<uint32_t *>(text) - 1);
}

// ---------------------------------------------------------------------------------------------

TMyStreamReader::TMyStreamReader(const std::wstring &fileName,
                                 std::atomic<int32_t> *ownerLastOSError,
                                 const TSevenZipOpenVolumeEvent &onOpenVolume)
    : FOwnerLastOSError(ownerLastOSError), FFileName(fileName), FOnOpenVolume(onOpenVolume) {
    TFiles volume;
    volume.Name = fileName;
    const std::string file = zv::nativePath(zv::wideToUtf8(fileName));
    volume.Handle = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (volume.Handle < 0) {
        FLastOSError = errno;
        return;
    }
    struct stat st {};
    if (::fstat(volume.Handle, &st) != 0) {
        FLastOSError = errno;
        ::close(volume.Handle);
        return;
    }
    volume.Size = st.st_size;
    FTotalSize = volume.Size;
    FVolumes.push_back(volume);
}

TMyStreamReader::~TMyStreamReader() {
    for (TFiles &volume : FVolumes)
        if (volume.Handle >= 0)
            ::close(volume.Handle);
    if (FLastOSError != 0 && FOwnerLastOSError)
        FOwnerLastOSError->store(FLastOSError);
}

void *TMyStreamReader::interfaceFor(const GUID &iid) noexcept {
    if (iid == IID_IUnknown || iid == IID_ISequentialInStream || iid == IID_IInStream)
        return static_cast<IInStream *>(this);
    if (iid == IID_IStreamGetSize)
        return static_cast<IStreamGetSize *>(this);
    return nullptr;
}

HRESULT TMyStreamReader::Read(void *data, uint32_t size, uint32_t *processedSize) noexcept {
    if (processedSize)
        *processedSize = 0;
    if (FVolumes.empty())
        return E_FAIL;
    uint32_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(FVolumes.front().Handle, static_cast<char *>(data) + done, size - done,
                            FPosition + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            // A silent short item would lose data while the build reports success.
            FLastOSError = errno;
            return E_FAIL;
        }
        if (n == 0)
            break;
        done += static_cast<uint32_t>(n);
    }
    FPosition += done;
    if (processedSize)
        *processedSize = done;
    return S_OK;
}

HRESULT TMyStreamReader::Seek(int64_t offset, uint32_t seekOrigin, uint64_t *newPosition) noexcept {
    int64_t target = FPosition;
    switch (seekOrigin) {
        case 0:
            target = offset;
            break;
        case 1:
            target = FPosition + offset;
            break;
        case 2:
            if (FTotalSize <= 0)
                return S_FALSE;
            target = FTotalSize + offset;
            break;
        default:
            break;
    }
    if (target < 0)
        return E_INVALIDARG;
    FPosition = target;
    if (newPosition)
        *newPosition = static_cast<uint64_t>(FPosition);
    return S_OK;
}

HRESULT TMyStreamReader::GetSize(uint64_t *size) noexcept {
    if (!size)
        return E_INVALIDARG;
    if (FTotalSize <= 0)
        return S_FALSE;
    *size = static_cast<uint64_t>(FTotalSize);
    return S_OK;
}

// ---------------------------------------------------------------------------------------------

TMyStreamWriter::TMyStreamWriter(const std::wstring &archiveName, uint32_t volumeSize,
                                 bool appendToSfx, std::atomic<int32_t> *ownerLastOSError)
    : FVolumes(archiveName, volumeSize, appendToSfx), FOwnerLastOSError(ownerLastOSError) {}

TMyStreamWriter::~TMyStreamWriter() {
    FVolumes.closeAll();
    if (FVolumes.lastOSError() != 0 && FOwnerLastOSError)
        FOwnerLastOSError->store(FVolumes.lastOSError());
}

void *TMyStreamWriter::interfaceFor(const GUID &iid) noexcept {
    if (iid == IID_IUnknown || iid == IID_ISequentialOutStream || iid == IID_IOutStream)
        return static_cast<IOutStream *>(this);
    return nullptr;
}

HRESULT TMyStreamWriter::Write(const void *data, uint32_t size, uint32_t *processedSize) noexcept {
    const uint32_t written = FVolumes.write(data, size);
    if (processedSize)
        *processedSize = written;
    return FVolumes.lastOSError() != 0 ? S_FALSE : S_OK;
}

HRESULT TMyStreamWriter::Seek(int64_t offset, uint32_t seekOrigin, uint64_t *newPosition) noexcept {
    if (!FVolumes.seek(offset, seekOrigin))
        return E_INVALIDARG;
    if (newPosition)
        *newPosition = static_cast<uint64_t>(FVolumes.position());
    return S_OK;
}

HRESULT TMyStreamWriter::SetSize(uint64_t) noexcept {
    return S_FALSE;
}

// ---------------------------------------------------------------------------------------------

TMyArchiveUpdateCallback::TMyArchiveUpdateCallback(TSevenZip &owner, LibraryStrings strings)
    : FOwner(owner), FStrings(strings), FPassword(owner.Password) {}

void *TMyArchiveUpdateCallback::interfaceFor(const GUID &iid) noexcept {
    if (iid == IID_IUnknown || iid == IID_IProgress || iid == IID_IArchiveUpdateCallback)
        return static_cast<IArchiveUpdateCallback *>(this);
    if (iid == IID_ICryptoGetTextPassword2)
        return static_cast<ICryptoGetTextPassword2 *>(this);
    return nullptr;
}

void TMyArchiveUpdateCallback::AddItem(const std::wstring &name, int64_t size, uint64_t time,
                                       uint32_t attributes) {
    ItemNames.push_back(name);
    ItemSizes.push_back(size);
    ItemTimes.push_back(time);
    ItemAttributes.push_back(attributes);
    FTotalSize += size;
}

std::wstring TMyArchiveUpdateCallback::StripRootAndDrive(const std::wstring &name) const {
    std::wstring path = name;
    if (!RootDir.empty() && path.size() >= RootDir.size() &&
        zv::wideUpper(path.substr(0, RootDir.size())) == RootDir) {
        path.erase(0, RootDir.size());
    } else if (!RootDir.empty() && path.size() + 1 == RootDir.size() &&
               zv::wideUpper(path) + RootDir.back() == RootDir) {
        path.clear();  // the root folder itself
    }
    if (path.size() >= 2 && path[1] == L':' && isLatinLetter(path[0])) {
        path.erase(0, std::min<size_t>(3, path.size()));
    } else if (!path.empty() && path[0] == L'/' && (path.size() < 2 || path[1] != L'/')) {
        path.erase(0, 1);
    }
    while (!path.empty() && isSeparator(path.back()))
        path.pop_back();
    return path;
}

std::wstring TMyArchiveUpdateCallback::ItemPath(uint32_t index) {
    std::wstring path = ItemNames[index];
    if (!RootDir.empty() && path.size() >= RootDir.size() &&
        zv::wideUpper(path.substr(0, RootDir.size())) == RootDir)
        path.erase(0, RootDir.size());
    if (FOwner.OnSetAddName)
        FOwner.OnSetAddName(&FOwner, index, path);
    if (path.size() >= 2 && path[1] == L':' && isLatinLetter(path[0])) {
        if (FOwner.AddOptions.contains(AddOptsEnum::AddIncludeDriveLetter))
            path.erase(1, 1);
        else
            path.erase(0, std::min<size_t>(3, path.size()));
    } else if (!path.empty() && path[0] == L'/' && (path.size() < 2 || path[1] != L'/')) {
        // A native absolute path loses its root as a drive path loses "C:\".
        path.erase(0, 1);
    }
    if (FOwner.AddOptions.contains(AddOptsEnum::AddStoreOnlyFilename)) {
        const size_t last = path.find_last_of(L"\\/");
        if (last != std::wstring::npos)
            path.erase(0, last + 1);
    }
    // The library stores names as given on Linux; 7z archives separate folders with '/'.
    for (wchar_t &c : path)
        if (c == L'\\')
            c = L'/';
    return withoutDotComponents(path);
}

HRESULT TMyArchiveUpdateCallback::SetTotal(uint64_t) noexcept {
    return S_OK;
}

HRESULT TMyArchiveUpdateCallback::SetCompleted(const uint64_t *completeValue) noexcept {
    try {
        std::wstring name;
        int64_t size = 0;
        int64_t fileProgress = 0;
        bool firstReport = false;
        int64_t completed = 0;
        {
            std::lock_guard<std::mutex> lock(FLock);
            completed = completeValue ? static_cast<int64_t>(*completeValue) : LastCompleted;
            // Once per handed-out stream: the library may report progress before the first
            // GetStream, and reports that move nothing would repeat the event.
            firstReport = FStreamAnnounced == false;
            FStreamAnnounced = true;
            FileProgress += completed - LastCompleted;
            LastCompleted = completed;
            name = CurrentName;
            size = CurrentSize;
            fileProgress = FileProgress;
        }
        if (firstReport && FOwner.OnAddfile)
            FOwner.OnAddfile(&FOwner, name, size);
        if (FOwner.OnProgress)
            FOwner.OnProgress(&FOwner, name, completed, fileProgress);
        if (FOwner.CancelRequested.load()) {
            FOwner.reportError(SZ_USER_CANCELED, name);
            return S_FALSE;  // the library stops and returns it
        }
        return S_OK;
    } catch (...) {
        FHandlerFailed = true;
        return E_FAIL;
    }
}

HRESULT TMyArchiveUpdateCallback::GetUpdateItemInfo(uint32_t, int32_t *newData, int32_t *newProps,
                                                    uint32_t *indexInArchive) noexcept {
    if (newData)
        *newData = 1;
    if (newProps)
        *newProps = 1;
    if (indexInArchive)
        *indexInArchive = 0xFFFFFFFFu;
    return S_OK;
}

HRESULT TMyArchiveUpdateCallback::GetProperty(uint32_t index, PROPID propID,
                                              PROPVARIANT *value) noexcept {
    if (!value)
        return E_INVALIDARG;
    clearValue(value);
    if (index >= ItemCount())
        return E_INVALIDARG;
    try {
        switch (propID) {
            case kpidPath: {
                value->bstrVal = FStrings.make(ItemPath(index));
                if (!value->bstrVal)
                    return E_FAIL;
                value->vt = VT_BSTR;
                break;
            }
            case kpidIsDir:
                value->vt = VT_BOOL;
                value->boolVal = (ItemAttributes[index] & 0x10) ? VARIANT_TRUE : VARIANT_FALSE;
                break;
            case kpidSize:
                value->vt = VT_UI8;
                value->uhVal = static_cast<uint64_t>(ItemSizes[index]);
                break;
            case kpidAttrib:
                value->vt = VT_UI4;
                value->ulVal = ItemAttributes[index];
                break;
            case kpidCTime:
            case kpidATime:
                value->vt = VT_FILETIME;
                break;
            case kpidMTime:
                value->vt = VT_FILETIME;
                value->filetime.dwLowDateTime = static_cast<uint32_t>(ItemTimes[index]);
                value->filetime.dwHighDateTime = static_cast<uint32_t>(ItemTimes[index] >> 32);
                break;
            case kpidIsAnti:
                value->vt = VT_BOOL;
                value->boolVal = VARIANT_FALSE;
                break;
            default:
                // Any non-zero answer stops the library, which then leaves an empty archive
                // and still reports success; an empty value is the safe "not known".
                break;
        }
        return S_OK;
    } catch (...) {
        FHandlerFailed = true;
        return E_FAIL;
    }
}

HRESULT TMyArchiveUpdateCallback::GetStream(uint32_t index,
                                            ISequentialInStream **inStream) noexcept {
    if (!inStream)
        return E_INVALIDARG;
    *inStream = nullptr;
    if (index >= ItemCount())
        return E_INVALIDARG;
    try {
        {
            std::lock_guard<std::mutex> lock(FLock);
            CurrentName = ItemNames[index];
            CurrentSize = ItemSizes[index];
            FileProgress = 0;
            FStreamAnnounced = false;
        }
        auto *reader =
            new TMyStreamReader(ItemNames[index], &FOwner.LastOSError, FOwner.OnOpenVolume);
        if (reader->lastOSError() != 0) {
            // An item that cannot be read must not be stored empty as if it were.
            reader->Release();
            return E_FAIL;
        }
        *inStream = static_cast<IInStream *>(reader);
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT TMyArchiveUpdateCallback::SetOperationResult(int32_t) noexcept {
    return S_OK;
}

HRESULT TMyArchiveUpdateCallback::CryptoGetTextPassword2(int32_t *passwordIsDefined,
                                                         BSTR *password) noexcept {
    if (password)
        *password = nullptr;
    if (FPassword.empty()) {
        if (passwordIsDefined)
            *passwordIsDefined = 0;
        return S_OK;
    }
    if (passwordIsDefined)
        *passwordIsDefined = -1;
    if (password) {
        *password = FStrings.make(FPassword);
        if (!*password)
            return E_FAIL;
    }
    return S_OK;
}

}  // namespace zv::sevenzip
