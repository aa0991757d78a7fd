// The keymap made for a text: it compiles, and each key types its character whatever the user's layout,
// characters outside the basic plane and line breaks included.
#include "delivery/wayland/VirtualKeyboard.h"

#include <xkbcommon/xkbcommon.h>

#include <gtest/gtest.h>

using orv::wayland::VirtualKeyboard;

TEST(VirtualKeyboardKeymap, everyKeyTypesItsCharacter)
{
    const QList<char32_t> characters{U'A', U'ß', U' ', U'✓', U'😀', U'\n', U'\t', U'€'};
    const QByteArray keymap = VirtualKeyboard::keymapFor(characters);

    xkb_context *context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    ASSERT_TRUE(context);
    xkb_keymap *compiled =
        xkb_keymap_new_from_string(context, keymap.constData(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    ASSERT_TRUE(compiled) << keymap.constData();
    xkb_state *state = xkb_state_new(compiled);
    for (qsizetype i = 0; i < characters.size(); ++i) {
        const xkb_keycode_t key = xkb_keycode_t(i + 9); // evdev code i + 1
        const xkb_keysym_t keysym = xkb_state_key_get_one_sym(state, key);
        if (characters.at(i) == U'\n')
            EXPECT_EQ(keysym, xkb_keysym_t(XKB_KEY_Return));
        else if (characters.at(i) == U'\t')
            EXPECT_EQ(keysym, xkb_keysym_t(XKB_KEY_Tab));
        else
            EXPECT_EQ(xkb_keysym_to_utf32(keysym), uint32_t(characters.at(i))) << i;
    }
    xkb_state_unref(state);
    xkb_keymap_unref(compiled);
    xkb_context_unref(context);
}
