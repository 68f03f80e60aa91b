#include "store/SharedText.h"

#include <sodium.h>

namespace dorvanta {

void TSharedText::Wipe() {
    if (!text_) return;
    // The text is shared and immutable to its holders; a wipe is the one change
    // made to it, right before every holder lets go.
    auto& text = const_cast<std::string&>(*text_);
    if (!text.empty()) sodium_memzero(text.data(), text.size());
    text_.reset();
}

}  // namespace dorvanta
