#include "app/CDialogTest.h"

std::u16string CDialogTest::label(int buttonId) const {
    for (const Button& b : kButtons)
        if (b.id == buttonId) return m_language.text(b.labelKey);
    return {};
}

bool CDialogTest::onButton(int buttonId) {
    for (const Button& b : kButtons)
        if (b.id == buttonId) {
            if (m_post) m_post(MSG_TEST_PATTERN + b.pattern);
            return true;
        }
    return false;
}
