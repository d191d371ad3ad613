#include "common/errors.h"

#include <new>

std::string DescribeError(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const AppError& e) {
        return e.Kind() + ": " + e.what();
    } catch (const std::bad_alloc&) {
        return "Out of memory";
    } catch (const std::exception& e) {
        return std::string("Error: ") + e.what();
    } catch (...) {
        return "Unknown error";
    }
}
