// The update callback as the library sees it: property answers and item paths. Includes the
// archive's internal adapter header, since these answers are what the library depends on.

#include "archive/SevenZipAdapters.h"

#include <gtest/gtest.h>

using namespace zv::sevenzip;

namespace {

class Callback : public ::testing::Test {
protected:
    Callback()
        : callback(ComPtr<TMyArchiveUpdateCallback>::adopt(
              new TMyArchiveUpdateCallback(owner, LibraryStrings{}))) {}

    std::wstring path(const std::wstring &name) {
        callback->ItemNames = {name};
        callback->ItemSizes = {0};
        callback->ItemTimes = {0};
        callback->ItemAttributes = {0x20};
        PROPVARIANT value{};
        EXPECT_EQ(callback->GetProperty(0, kpidPath, &value), S_OK);
        EXPECT_EQ(value.vt, VT_BSTR);
        std::wstring text = value.bstrVal ? value.bstrVal : L"";
        LibraryStrings{}.release(value.bstrVal);
        return text;
    }

    TSevenZip owner;
    ComPtr<TMyArchiveUpdateCallback> callback;
};

TEST_F(Callback, EveryAskedPropertyIsAnsweredWithSuccess) {
    callback->AddItem(L"C:\\Data\\x.zvf", 5000000000LL, 0x01D9'0000'1234'5678ull, 0x10);
    PROPVARIANT value{};
    ASSERT_EQ(callback->GetProperty(0, kpidSize, &value), S_OK);
    EXPECT_EQ(value.vt, VT_UI8);
    EXPECT_EQ(value.uhVal, 5000000000ull);  // past 4 GiB
    ASSERT_EQ(callback->GetProperty(0, kpidIsDir, &value), S_OK);
    EXPECT_EQ(value.vt, VT_BOOL);
    EXPECT_EQ(value.boolVal, -1);
    ASSERT_EQ(callback->GetProperty(0, kpidMTime, &value), S_OK);
    EXPECT_EQ(value.vt, VT_FILETIME);
    EXPECT_EQ(value.filetime.dwHighDateTime, 0x01D90000u);
    EXPECT_EQ(value.filetime.dwLowDateTime, 0x12345678u);
    ASSERT_EQ(callback->GetProperty(0, kpidCTime, &value), S_OK);
    EXPECT_EQ(value.vt, VT_FILETIME);
    EXPECT_EQ(value.uhVal, 0u);
    // An id the library might ask some day: success and an empty value, never a "stop".
    value.vt = VT_UI4;
    EXPECT_EQ(callback->GetProperty(0, 99, &value), S_OK);
    EXPECT_EQ(value.vt, VT_EMPTY);
    EXPECT_EQ(callback->GetProperty(1, kpidSize, &value), E_INVALIDARG);

    int32_t newData = 0, newProps = 0;
    uint32_t index = 0;
    EXPECT_EQ(callback->GetUpdateItemInfo(0, &newData, &newProps, &index), S_OK);
    EXPECT_EQ(newData, 1);
    EXPECT_EQ(newProps, 1);
    EXPECT_EQ(index, 0xFFFFFFFFu);
}

TEST_F(Callback, PathsLoseDriveRootAndUseSlashes) {
    EXPECT_EQ(path(L"C:\\Data\\x.zvf"), L"Data/x.zvf");
    EXPECT_EQ(path(L"/home/op/x.zvf"), L"home/op/x.zvf");
    EXPECT_EQ(path(L"\\\\server\\share\\x.zvf"), L"//server/share/x.zvf");
    owner.AddOptions = {AddOptsEnum::AddIncludeDriveLetter};
    EXPECT_EQ(path(L"C:\\Data\\x.zvf"), L"C/Data/x.zvf");
    owner.AddOptions = {AddOptsEnum::AddStoreOnlyFilename};
    EXPECT_EQ(path(L"C:\\Data\\x.zvf"), L"x.zvf");
    owner.AddOptions = {};
    callback->RootDir = L"C:\\DATA\\";
    EXPECT_EQ(path(L"c:\\data\\Sub\\x.zvf"), L"Sub/x.zvf");
    EXPECT_EQ(callback->StripRootAndDrive(L"c:\\Data"), L"");
    EXPECT_EQ(callback->StripRootAndDrive(L"D:\\Other"), L"Other");
}

TEST_F(Callback, PathsHoldNoDotComponents) {
    // An item never lands outside the folder it is extracted into.
    EXPECT_EQ(path(L"C:\\Exp\\..\\..\\x.zvf"), L"x.zvf");
    EXPECT_EQ(path(L"C:\\Exp\\.\\Sub\\..\\x.zvf"), L"Exp/x.zvf");
    EXPECT_EQ(path(L"/home/op/./work//../x.zvf"), L"home/op/x.zvf");
    EXPECT_EQ(path(L"\\\\server\\share\\..\\..\\x.zvf"), L"//x.zvf");
    EXPECT_EQ(path(L"..\\x.zvf..\\.y"), L"x.zvf../.y");
    owner.OnSetAddName = [](TSevenZip *, uint32_t, std::wstring &name) { name = L"../../x.zvf"; };
    EXPECT_EQ(path(L"C:\\Exp\\x.zvf"), L"x.zvf");
}

TEST_F(Callback, PasswordIsHandedOutOnlyWhenSet) {
    int32_t defined = 7;
    BSTR password = nullptr;
    EXPECT_EQ(callback->CryptoGetTextPassword2(&defined, &password), S_OK);
    EXPECT_EQ(defined, 0);
    EXPECT_EQ(password, nullptr);

    owner.Password = L"тайна";
    auto withPassword = ComPtr<TMyArchiveUpdateCallback>::adopt(
        new TMyArchiveUpdateCallback(owner, LibraryStrings{}));
    EXPECT_EQ(withPassword->CryptoGetTextPassword2(&defined, &password), S_OK);
    EXPECT_EQ(defined, -1);
    ASSERT_NE(password, nullptr);
    EXPECT_EQ(std::wstring(password), L"тайна");
    EXPECT_EQ(reinterpret_cast<uint32_t *>(password)[-1], 5 * sizeof(wchar_t));
    LibraryStrings{}.release(password);
}

TEST_F(Callback, AHandlerThatThrowsStopsTheLibraryInsteadOfCrossingIt) {
    owner.OnProgress = [](TSevenZip *, const std::wstring &, int64_t, int64_t) {
        throw std::runtime_error("handler");
    };
    const uint64_t completed = 10;
    EXPECT_NE(callback->SetCompleted(&completed), S_OK);
    EXPECT_TRUE(callback->HandlerFailed());
}

}  // namespace
