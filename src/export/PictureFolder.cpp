#include "export/PictureFolder.h"

#include <filesystem>
#include <system_error>

#include "platform/Error.h"
#include "platform/Paths.h"

namespace zv {

void makePictureFolder(const std::string &folder) {
    std::error_code error;
    if (!folder.empty()) {
        const std::filesystem::path native = nativePath(folder);
        std::filesystem::create_directories(native, error);
        if (std::filesystem::is_directory(native, error))
            return;
    }
    throw Error("Неверная директория экспорта");
}

}  // namespace zv
