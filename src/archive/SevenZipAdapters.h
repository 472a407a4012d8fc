#pragma once

// The objects TSevenZip hands to 7-Zip's library: the update callback and the two stream
// adapters. Internal to src/archive (it carries the library's interface declarations).
//
// The library calls them from its own threads too (GetStream and Read run on a worker thread
// while SetCompleted and Write come from the caller's thread), so reference counts are atomic,
// the callback's shared state is locked, and no method lets an exception out.

#include "archive/ArchiveVolumes.h"
#include "archive/SevenZip.h"
#include "archive/SevenZipAbi.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace zv::sevenzip {

// BSTRs the library frees itself must come from its own allocator (a 4-byte length prefix
// before the text); the malloc-based stand-in matches it for libraries that do not export it.
struct LibraryStrings {
    SysAllocStringLenFn *alloc = nullptr;
    SysFreeStringFn *free = nullptr;

    BSTR make(const std::wstring &text) const noexcept;  // null when out of memory
    void release(BSTR text) const noexcept;
};

// The shared base of the three adapters: query-interface over the interfaces a class lists,
// atomic add-ref and release, and self-destruction at count 0. A new object holds the count 1
// for its creator, who takes it over with ComPtr::adopt.
template <class... Interfaces>
class TMyInterfacedObject : public Interfaces... {
public:
    HRESULT QueryInterface(const GUID &iid, void **object) noexcept override {
        if (!object)
            return E_INVALIDARG;
        *object = interfaceFor(iid);
        if (!*object)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    uint32_t AddRef() noexcept override { return refs_.fetch_add(1) + 1; }
    uint32_t Release() noexcept override {
        const uint32_t left = refs_.fetch_sub(1) - 1;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    TMyInterfacedObject() = default;
    virtual ~TMyInterfacedObject() = default;
    // The interface pointer for iid (null when not offered), without add-ref.
    virtual void *interfaceFor(const GUID &iid) noexcept = 0;

private:
    std::atomic<uint32_t> refs_{1};
};

// Reads one source file for the library. Opened by the constructor; the file stays open until
// the library releases the stream. Read errors stop the build (a short item would be a silent
// loss of data); the errno is reported to the owner's LastOSError when the stream goes.
class TMyStreamReader final : public TMyInterfacedObject<IInStream, IStreamGetSize> {
public:
    // Throws nothing; check lastOSError() after construction (non-zero: the file did not open).
    TMyStreamReader(const std::wstring &fileName, std::atomic<int32_t> *ownerLastOSError,
                    const TSevenZipOpenVolumeEvent &onOpenVolume);

    HRESULT Read(void *data, uint32_t size, uint32_t *processedSize) noexcept override;
    HRESULT Seek(int64_t offset, uint32_t seekOrigin, uint64_t *newPosition) noexcept override;
    HRESULT GetSize(uint64_t *size) noexcept override;

    int lastOSError() const { return FLastOSError; }

private:
    ~TMyStreamReader() override;
    void *interfaceFor(const GUID &iid) noexcept override;

    std::atomic<int32_t> *FOwnerLastOSError;
    std::wstring FFileName;
    int64_t FPosition = 0;
    int64_t FTotalSize = 0;
    TArrayOfFiles FVolumes;
    // Reading of split archives is not done by this module; kept for the owner's settings.
    TSevenZipOpenVolumeEvent FOnOpenVolume;
    bool FMultiVolume = false;
    bool FVolumesLocated = false;
    int FLastOSError = 0;
};

// Writes the archive through an ArchiveVolumeWriter. The first volume is created by the
// constructor (which throws TSevenZipAbort when it cannot be); the files close and the OS error
// goes to the owner's LastOSError when the library and the owner have released the stream.
class TMyStreamWriter final : public TMyInterfacedObject<IOutStream> {
public:
    TMyStreamWriter(const std::wstring &archiveName, uint32_t volumeSize, bool appendToSfx,
                    std::atomic<int32_t> *ownerLastOSError);

    HRESULT Write(const void *data, uint32_t size, uint32_t *processedSize) noexcept override;
    HRESULT Seek(int64_t offset, uint32_t seekOrigin, uint64_t *newPosition) noexcept override;
    HRESULT SetSize(uint64_t newSize) noexcept override;

    const ArchiveVolumeWriter &volumes() const { return FVolumes; }

private:
    ~TMyStreamWriter() override;
    void *interfaceFor(const GUID &iid) noexcept override;

    ArchiveVolumeWriter FVolumes;
    std::atomic<int32_t> *FOwnerLastOSError;
};

// Describes the collected items to the library and hands out their data. Lives for one AddFiles.
class TMyArchiveUpdateCallback final
    : public TMyInterfacedObject<IArchiveUpdateCallback, ICryptoGetTextPassword2> {
public:
    TMyArchiveUpdateCallback(TSevenZip &owner, LibraryStrings strings);

    // Collection (before UpdateItems, on the caller's thread).
    void AddItem(const std::wstring &name, int64_t size, uint64_t time, uint32_t attributes);
    uint32_t ItemCount() const { return static_cast<uint32_t>(ItemNames.size()); }
    int64_t TotalSize() const { return FTotalSize; }
    // The item's name less RootDir and the drive part ("C:\", or the leading "/" of a native
    // path), as step 1 and 3 of the path rules give it; empty when nothing remains.
    std::wstring StripRootAndDrive(const std::wstring &name) const;
    // The path stored for item index: RootDir removed, OnSetAddName, drive part, only the file
    // name with AddStoreOnlyFilename, '/' separators. Throws what OnSetAddName throws.
    std::wstring ItemPath(uint32_t index);
    // True when a handler threw inside a library call; the build counts as failed.
    bool HandlerFailed() const { return FHandlerFailed.load(); }

    HRESULT SetTotal(uint64_t total) noexcept override;
    HRESULT SetCompleted(const uint64_t *completeValue) noexcept override;
    HRESULT GetUpdateItemInfo(uint32_t index, int32_t *newData, int32_t *newProps,
                              uint32_t *indexInArchive) noexcept override;
    HRESULT GetProperty(uint32_t index, PROPID propID, PROPVARIANT *value) noexcept override;
    HRESULT GetStream(uint32_t index, ISequentialInStream **inStream) noexcept override;
    HRESULT SetOperationResult(int32_t operationResult) noexcept override;
    HRESULT CryptoGetTextPassword2(int32_t *passwordIsDefined, BSTR *password) noexcept override;

    std::vector<std::wstring> ItemNames;
    std::vector<int64_t> ItemSizes;
    std::vector<uint64_t> ItemTimes;  // FILETIME: 100 ns since 1601-01-01 UTC
    std::vector<uint32_t> ItemAttributes;
    std::wstring RootDir;

private:
    ~TMyArchiveUpdateCallback() override = default;
    void *interfaceFor(const GUID &iid) noexcept override;

    TSevenZip &FOwner;
    LibraryStrings FStrings;
    std::wstring FPassword;
    int64_t FTotalSize = 0;
    std::atomic<bool> FHandlerFailed{false};

    // GetStream (worker thread) and SetCompleted (caller's thread) share these.
    std::mutex FLock;
    std::wstring CurrentName;
    int64_t CurrentSize = 0;
    int64_t FileProgress = 0;
    int64_t LastCompleted = 0;
    bool FStreamAnnounced = true;  // OnAddfile given for the stream handed out last
};

}  // namespace zv::sevenzip
