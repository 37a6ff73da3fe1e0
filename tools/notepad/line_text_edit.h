#pragma once

#include <QPlainTextEdit>

class QMimeData;

namespace ini {

// The editable text. Its clipboard and drag and drop carry the lines' characters exactly
// (block_lines.h); Qt's own turn placeholders into their glyphs, line and paragraph separators
// into line breaks, and no-break spaces into spaces.
class LineTextEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    using QPlainTextEdit::QPlainTextEdit;

signals:
    // A paste was turned away; `why` says so to the user.
    void refused(const QString& why);

protected:
    QMimeData* createMimeDataFromSelection() const override;
    void insertFromMimeData(const QMimeData* source) override;
};

} // namespace ini
