#include "store/ErrorMessage.h"

#include <new>
#include <stdexcept>

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
    } catch (...) {
        // The standard library's own texts are English and say nothing to a user.
    }
    return kMsgUnknownError;
}

}  // namespace dorvanta
