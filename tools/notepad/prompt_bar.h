#pragma once

#include <QWidget>

class QHBoxLayout;
class QLineEdit;

namespace ini {

// A one-field bar at the bottom of the editor window, in place of a dialog, so keys typed right
// after its shortcut land in its field without waiting for a window to appear. Escape in the
// field dismisses it.
class PromptBar : public QWidget {
    Q_OBJECT
public:
    // The bar's object name is name + "Bar", its field's name + "Field".
    PromptBar(const QString& label, const QString& name, QWidget* parent);

signals:
    void dismissed();

protected:
    QLineEdit* Field() const { return m_field; }
    // Adds a widget after the field.
    void Append(QWidget* widget);
    // Shows the bar with the focus in the field.
    void ShowFocused();
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QHBoxLayout* m_layout;
    QLineEdit* m_field;
};

} // namespace ini
