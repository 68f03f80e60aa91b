#pragma once
// The text a user sees for an error. The program's own errors carry German texts
// and are shown as they stand; a library's text (English, and meaningless to the
// user) never is.

#include <string>

#include "store/StoreMessages.h"  // kMsgOutOfMemory, kMsgUnknownError

namespace dorvanta {

// The message for the exception being handled; call it only inside a catch block.
// Allocation failures (std::bad_alloc, std::length_error) give kMsgOutOfMemory;
// EStoreError (settings errors included) and EMaskException, which carry the
// program's German texts, give their own text; anything else gives kMsgUnknownError.
std::string CurrentErrorMessage();

}  // namespace dorvanta
