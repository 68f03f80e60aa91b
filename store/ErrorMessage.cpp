#include "store/ErrorMessage.h"

#include <new>
#include <stdexcept>
#include <typeinfo>

#include "store/Mask.h"
#include "store/StoreError.h"

namespace dorvanta {

std::string CurrentErrorMessage() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return kMsgOutOfMemory;
    } catch (const std::length_error&) {  // a size beyond what can be allocated at all
        return kMsgOutOfMemory;
    } catch (const EStoreError& error) {
        return error.what();
    } catch (const EMaskException& error) {
        return error.what();
    } catch (const std::runtime_error& error) {
        // Only the exact type: the standard library's own errors are derived ones.
        if (typeid(error) == typeid(std::runtime_error)) return error.what();
    } catch (...) {
    }
    return kMsgUnknownError;
}

}  // namespace dorvanta
