// The toggle-shortcut parser on any text: refused with a reason, or a shortcut whose canonical name
// parses back to itself.
#include "fuzz/FuzzText.h"
#include "shortcuts/ShortcutKeys.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace orv;
    const QString text = fuzz::text(std::string(reinterpret_cast<const char *>(data), size));
    const auto parsed = shortcutkeys::parseToggle(text);
    if (!parsed) {
        fuzz::check(!parsed.error().isEmpty(), "a refused shortcut says why");
        return 0;
    }
    const ToggleShortcut &shortcut = parsed.value();
    fuzz::check(!shortcut.key.isEmpty(), "a shortcut has a key");
    const auto again = shortcutkeys::parseToggle(shortcut.name());
    fuzz::check(again.hasValue() && again.value() == shortcut, "the canonical name parses back");
    return 0;
}
