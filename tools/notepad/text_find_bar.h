#pragma once

#include "notepad/prompt_bar.h"

class QLabel;

namespace ini {

// The find prompt: the text to look for, and a note when it is not in the document. Escape
// dismisses it; the text stays for the next search.
class TextFindBar : public PromptBar {
    Q_OBJECT
public:
    explicit TextFindBar(QWidget* parent = nullptr);

    // Shows the bar with the focus in the field, the last text selected so typing replaces it.
    void Open();
    QString Text() const;
    // Says whether the last search found the text, showing the bar if it did not.
    void ShowFound(bool found);

signals:
    // Enter in the field.
    void findRequested();

private:
    QLabel* m_status;
};

} // namespace ini
