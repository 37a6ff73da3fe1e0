// A window that appends every key it receives, one per line, to the file named by its argument,
// so the desktop tests can check what arrived and in which order.
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QKeySequence>
#include <QWidget>

namespace {

bool IsModifierKey(int key) {
    return key == Qt::Key_Control || key == Qt::Key_Shift || key == Qt::Key_Alt ||
           key == Qt::Key_Meta || key == Qt::Key_AltGr;
}

// A typed character as itself; a key combination or a named key as Qt writes it ("Ctrl+G").
QString Describe(const QKeyEvent& event) {
    const bool chord = event.modifiers() & (Qt::ControlModifier | Qt::AltModifier);
    const QString text = event.text();
    if (!chord && !text.isEmpty() && text.at(0).isPrint())
        return text;
    return QKeySequence(event.keyCombination()).toString(QKeySequence::PortableText);
}

class KeyProbe : public QWidget {
public:
    explicit KeyProbe(QString logPath) : m_logPath(std::move(logPath)) {
        setFocusPolicy(Qt::StrongFocus);
        setWindowTitle(QStringLiteral("key probe"));
        resize(320, 200);
    }

protected:
    // Takes keys before QWidget does, so Tab is logged instead of moving the focus.
    bool event(QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return QWidget::event(event);
        const auto& key = static_cast<const QKeyEvent&>(*event);
        if (!IsModifierKey(key.key())) {
            QFile log(m_logPath);
            if (log.open(QIODevice::Append))
                log.write(Describe(key).toUtf8() + '\n');
        }
        return true;
    }

private:
    QString m_logPath;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2)
        return 2;
    KeyProbe probe(QString::fromLocal8Bit(argv[1]));
    probe.show();
    return app.exec();
}
