#include "support/Fakes.h"

namespace zvtest {

void FakeAutostart::add(const std::string &name, const std::string &nativeProgram) {
    if (refuseWrites)
        throw zv::Error("Нет прав на запись");
    entries[name] = nativeProgram;
}

void FakeAutostart::remove(const std::string &name) {
    if (refuseWrites || !entries.erase(name))
        throw zv::Error("Нет прав на запись");
}

}  // namespace zvtest
