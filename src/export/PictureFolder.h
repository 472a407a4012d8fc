#pragma once

#include <string>

namespace zv {

// The folder of a picture export as the export window makes it (ForceDirectories): the folder
// named as typed (a drive path or a native one) with every missing parent. Throws zv::Error
// "Неверная директория экспорта" when there is no folder of that name then. The frame store's
// own picture export silently writes nothing into a folder it cannot make; the window and zvf
// call this first, so that the operator learns of it.
void makePictureFolder(const std::string &folder);

}  // namespace zv
