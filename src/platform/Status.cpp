#include "platform/Status.h"

#include <exception>
#include <new>

namespace zv {

std::string currentFailureReason() {
    try {
        throw;
    } catch (const std::bad_alloc &) {
        return "Недостаточно памяти";
    } catch (const std::exception &e) {
        return e.what();
    } catch (...) {
        return "Неизвестная ошибка";
    }
}

}  // namespace zv
