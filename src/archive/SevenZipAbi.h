#pragma once

// Our own declarations of the parts of 7-Zip's archive interfaces that the writer uses, as the
// Linux build of the library (7z.so, interface type 0) lays them out: Itanium C++ vtables, no
// virtual destructor in IUnknown, 32-bit wchar_t holding UTF-16 code units, a 16-byte
// PROPVARIANT. Only the .cpp files of src/archive include this header; nothing of it is visible
// to the rest of the module.

#include <cstdint>

namespace zv::sevenzip {

using HRESULT = int32_t;
using PROPID = uint32_t;
using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
using BSTR = wchar_t *;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};

inline bool operator==(const GUID &a, const GUID &b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}

// 23170F69-40C1-278A-0000-00gg00ss0000: the scheme of every interface id of the library.
constexpr GUID interfaceId(uint8_t group, uint8_t sub) {
    return GUID{0x23170F69, 0x40C1, 0x278A, {0, 0, 0, group, 0, sub, 0, 0}};
}

inline constexpr GUID CLSID_Format7z = {
    0x23170F69, 0x40C1, 0x278A, {0x10, 0, 0, 0x01, 0x10, 0x07, 0, 0}};
inline constexpr GUID IID_IUnknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IProgress = interfaceId(0x00, 0x05);
inline constexpr GUID IID_ISequentialInStream = interfaceId(0x03, 0x01);
inline constexpr GUID IID_ISequentialOutStream = interfaceId(0x03, 0x02);
inline constexpr GUID IID_IInStream = interfaceId(0x03, 0x03);
inline constexpr GUID IID_IOutStream = interfaceId(0x03, 0x04);
inline constexpr GUID IID_IStreamGetSize = interfaceId(0x03, 0x06);
inline constexpr GUID IID_ICryptoGetTextPassword2 = interfaceId(0x05, 0x11);
inline constexpr GUID IID_ISetProperties = interfaceId(0x06, 0x03);
inline constexpr GUID IID_IInArchive = interfaceId(0x06, 0x60);
inline constexpr GUID IID_IArchiveUpdateCallback = interfaceId(0x06, 0x80);
inline constexpr GUID IID_IOutArchive = interfaceId(0x06, 0xA0);

enum : VARTYPE {
    VT_EMPTY = 0,
    VT_BSTR = 8,
    VT_BOOL = 11,
    VT_UI4 = 19,
    VT_UI8 = 21,
    VT_FILETIME = 64,
};

struct FILETIME {
    uint32_t dwLowDateTime;
    uint32_t dwHighDateTime;
};

// 16 bytes: the type, three reserved words (the first is the time precision for VT_FILETIME),
// the value at offset 8. Zero the whole struct before filling it.
struct PROPVARIANT {
    VARTYPE vt;
    uint16_t wReserved1;
    uint16_t wReserved2;
    uint16_t wReserved3;
    union {
        uint32_t ulVal;
        uint64_t uhVal;
        VARIANT_BOOL boolVal;
        FILETIME filetime;
        BSTR bstrVal;
    };
};
static_assert(sizeof(PROPVARIANT) == 16, "PROPVARIANT must match the library's 16-byte layout");

// Item property ids of the update callback.
enum : PROPID {
    kpidPath = 3,
    kpidIsDir = 6,
    kpidSize = 7,
    kpidAttrib = 9,
    kpidCTime = 10,
    kpidATime = 11,
    kpidMTime = 12,
    kpidIsAnti = 21,
};

// Module properties asked through GetModuleProp.
enum : PROPID {
    kModulePropInterfaceType = 0,
    kModulePropVersion = 1,
};

// Methods never throw: the library's frames do not expect exceptions. The protected destructor
// keeps anyone from deleting through an interface; objects free themselves in Release.
class IUnknown {
public:
    virtual HRESULT QueryInterface(const GUID &iid, void **object) noexcept = 0;
    virtual uint32_t AddRef() noexcept = 0;
    virtual uint32_t Release() noexcept = 0;

protected:
    ~IUnknown() = default;
};

class ISequentialInStream : public IUnknown {
public:
    virtual HRESULT Read(void *data, uint32_t size, uint32_t *processedSize) noexcept = 0;

protected:
    ~ISequentialInStream() = default;
};

class IInStream : public ISequentialInStream {
public:
    virtual HRESULT Seek(int64_t offset, uint32_t seekOrigin, uint64_t *newPosition) noexcept = 0;

protected:
    ~IInStream() = default;
};

class IStreamGetSize : public IUnknown {
public:
    virtual HRESULT GetSize(uint64_t *size) noexcept = 0;

protected:
    ~IStreamGetSize() = default;
};

class ISequentialOutStream : public IUnknown {
public:
    virtual HRESULT Write(const void *data, uint32_t size, uint32_t *processedSize) noexcept = 0;

protected:
    ~ISequentialOutStream() = default;
};

class IOutStream : public ISequentialOutStream {
public:
    virtual HRESULT Seek(int64_t offset, uint32_t seekOrigin, uint64_t *newPosition) noexcept = 0;
    virtual HRESULT SetSize(uint64_t newSize) noexcept = 0;

protected:
    ~IOutStream() = default;
};

class IProgress : public IUnknown {
public:
    virtual HRESULT SetTotal(uint64_t total) noexcept = 0;
    virtual HRESULT SetCompleted(const uint64_t *completeValue) noexcept = 0;

protected:
    ~IProgress() = default;
};

class IArchiveUpdateCallback : public IProgress {
public:
    virtual HRESULT GetUpdateItemInfo(uint32_t index, int32_t *newData, int32_t *newProps,
                                      uint32_t *indexInArchive) noexcept = 0;
    virtual HRESULT GetProperty(uint32_t index, PROPID propID, PROPVARIANT *value) noexcept = 0;
    virtual HRESULT GetStream(uint32_t index, ISequentialInStream **inStream) noexcept = 0;
    virtual HRESULT SetOperationResult(int32_t operationResult) noexcept = 0;

protected:
    ~IArchiveUpdateCallback() = default;
};

class ICryptoGetTextPassword2 : public IUnknown {
public:
    virtual HRESULT CryptoGetTextPassword2(int32_t *passwordIsDefined, BSTR *password) noexcept = 0;

protected:
    ~ICryptoGetTextPassword2() = default;
};

class IOutArchive : public IUnknown {
public:
    virtual HRESULT UpdateItems(ISequentialOutStream *outStream, uint32_t numItems,
                                IArchiveUpdateCallback *updateCallback) noexcept = 0;
    virtual HRESULT GetFileTimeType(uint32_t *type) noexcept = 0;

protected:
    ~IOutArchive() = default;
};

class ISetProperties : public IUnknown {
public:
    virtual HRESULT SetProperties(const wchar_t *const *names, const PROPVARIANT *values,
                                  uint32_t numProps) noexcept = 0;

protected:
    ~ISetProperties() = default;
};

class IArchiveOpenCallback;
class IArchiveExtractCallback;

// Held but never called by the writer; declared in full so that the object is typed.
class IInArchive : public IUnknown {
public:
    virtual HRESULT Open(IInStream *stream, const uint64_t *maxCheckStartPosition,
                         IArchiveOpenCallback *openCallback) noexcept = 0;
    virtual HRESULT Close() noexcept = 0;
    virtual HRESULT GetNumberOfItems(uint32_t *numItems) noexcept = 0;
    virtual HRESULT GetProperty(uint32_t index, PROPID propID, PROPVARIANT *value) noexcept = 0;
    virtual HRESULT Extract(const uint32_t *indices, uint32_t numItems, int32_t testMode,
                            IArchiveExtractCallback *extractCallback) noexcept = 0;
    virtual HRESULT GetArchiveProperty(PROPID propID, PROPVARIANT *value) noexcept = 0;
    virtual HRESULT GetNumberOfProperties(uint32_t *numProps) noexcept = 0;
    virtual HRESULT GetPropertyInfo(uint32_t index, BSTR *name, PROPID *propID,
                                    VARTYPE *varType) noexcept = 0;
    virtual HRESULT GetNumberOfArchiveProperties(uint32_t *numProps) noexcept = 0;
    virtual HRESULT GetArchivePropertyInfo(uint32_t index, BSTR *name, PROPID *propID,
                                           VARTYPE *varType) noexcept = 0;

protected:
    ~IInArchive() = default;
};

// Exported C functions of the library.
extern "C" {
using CreateObjectFn = HRESULT(const GUID *clsid, const GUID *iid, void **object);
using GetModulePropFn = HRESULT(PROPID propID, PROPVARIANT *value);
using SysAllocStringLenFn = BSTR(const wchar_t *text, uint32_t length);
using SysFreeStringFn = void(BSTR text);
using VariantClearFn = HRESULT(PROPVARIANT *value);
}

// Holds one reference to a library or adapter object and drops it when it goes.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller already owns (a new object, an out-parameter).
    static ComPtr adopt(T *object) {
        ComPtr p;
        p.object_ = object;
        return p;
    }
    ComPtr(const ComPtr &other) : object_(other.object_) {
        if (object_)
            object_->AddRef();
    }
    ComPtr(ComPtr &&other) noexcept : object_(other.object_) { other.object_ = nullptr; }
    ComPtr &operator=(ComPtr other) noexcept {
        T *old = object_;
        object_ = other.object_;
        other.object_ = old;
        return *this;
    }
    ~ComPtr() { reset(); }

    void reset() {
        if (object_)
            object_->Release();
        object_ = nullptr;
    }
    T *get() const { return object_; }
    T *operator->() const { return object_; }
    T &operator*() const { return *object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // For out-parameters: releases what is held and hands out the slot.
    void **out() {
        reset();
        return reinterpret_cast<void **>(&object_);
    }

private:
    T *object_ = nullptr;
};

}  // namespace zv::sevenzip
