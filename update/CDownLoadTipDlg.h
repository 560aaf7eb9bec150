#pragma once

#include <cstdint>
#include <string>

namespace update {

// The silent prompt: a question with a box that asks not to be reminded again.
// The face shows it modally and puts the box's state into `m_check`.
class CDownLoadTipDlg {
public:
    static constexpr int kQuestionIcon = 32514;  // the system's standard question icon

    CDownLoadTipDlg(std::u16string title, std::u16string message, std::u16string okText,
                    std::u16string cancelText, std::u16string checkText, int icon)
        : m_title(std::move(title)),
          m_message(std::move(message)),
          m_okText(std::move(okText)),
          m_cancelText(std::move(cancelText)),
          m_checkText(std::move(checkText)),
          m_icon(icon) {}

    std::u16string m_title;
    std::u16string m_message;
    std::u16string m_okText;
    std::u16string m_cancelText;
    std::u16string m_checkText;
    int m_icon = 0;
    int32_t m_check = 0;  // 0 unchecked
};

}  // namespace update
