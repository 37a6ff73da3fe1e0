#pragma once

// The window under test: its own settings file and folder, a fake desktop, warnings collected
// instead of shown, and the example files the window tests load.

#include "outline/model/outline_model.h"
#include "ui/form1.h"
#include "ui/remembered_file.h"

#include "support/fake_desktop.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include <memory>

namespace ini::test {

inline const QString initialText = QStringLiteral(R"(D:\test\Data\INI\DrawGroupInfo.ini)");

// The example file: two blocks, the first nested three deep, plus a third small block.
inline const QByteArray example = "Object Alpha\r\n"
                                  "  ; tuning\r\n"
                                  "  Speed = 10 ; fast\r\n"
                                  "  Draw = ModelA\r\n"
                                  "    DefaultConditionState\r\n"
                                  "      Model = M1\r\n"
                                  "    End\r\n"
                                  "  End\r\n"
                                  "End\r\n"
                                  "Object Beta ; second\r\n"
                                  "End\r\n"
                                  "Object Gamma\r\n"
                                  "  Armor = 1\r\n"
                                  "End\r\n";

// A window with its own settings file, a fake desktop and warnings collected instead of shown.
class Harness {
public:
    Harness() : m_settings(m_dir.filePath(QStringLiteral("settings.conf"))) {}

    Form1& Open() {
        FormServices services;
        services.settingsFile = m_settings;
        // The window makes its desktop on first use; this one is ready before, to be told
        // what to fail.
        m_desktop = std::make_unique<FakeDesktop>();
        desktop = m_desktop.get();
        services.makeDesktop = [this] { return std::move(m_desktop); };
        services.showWarning = [this](QWidget*, const QString&, const QString& text) {
            warnings.append(text);
        };
        if (!m_realNotices)
            services.showNotice = [this](QWidget*, const QString&, const QString& text) {
                warnings.append(text);
                return QPointer<QWidget>();
            };
        services.eventInterval = m_interval;
        services.volumes = volumes;
        form = std::make_unique<Form1>(services);
        return *form;
    }
    Harness& Interval(std::chrono::milliseconds interval) {
        m_interval = interval;
        return *this;
    }
    // Notices shown in the window's own boxes instead of collected with the warnings.
    Harness& RealNotices() {
        m_realNotices = true;
        return *this;
    }
    Harness& Settings(QString file) {
        m_settings = std::move(file);
        return *this;
    }

    QString WriteFile(const QString& name, const QByteArray& bytes) {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return {};
        return path;
    }
    QString Folder() const { return QDir::cleanPath(m_dir.path()); }
    RememberedFile Store() const { return RememberedFile(m_settings); }
    // Writes the settings file as a user would, by hand.
    bool WriteSettings(const QByteArray& text) {
        QFile file(m_settings);
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    }

    template <typename W> W* Find(const char* name) {
        return form->findChild<W*>(QLatin1String(name));
    }
    QTreeView* Tree() { return Find<QTreeView>("TreeView1"); }
    OutlineModel* Model() { return qobject_cast<OutlineModel*>(Tree()->model()); }
    void Load(const QString& path) {
        Find<QLineEdit>("Txt_Filename")->setText(path);
        Find<QPushButton>("Cmd_Load")->click();
    }
    QModelIndex Node(LineIndex line) { return Model()->IndexOf(NodeKey{line}); }
    // The line of the selected node, which the editor button hands over.
    std::optional<LineIndex> SelectedLine() {
        const QModelIndexList selected = Tree()->selectionModel()->selectedIndexes();
        if (selected.isEmpty())
            return std::nullopt;
        const std::optional<NodeKey> key = Model()->KeyAt(selected.front());
        return key ? std::optional(key->line) : std::nullopt;
    }
    void ClickNode(LineIndex line) {
        const QModelIndex index = Node(line);
        QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, {},
                          Tree()->visualRect(index).center());
    }
    // What a user's double-click delivers: a click, then the double-click.
    void DoubleClickNode(LineIndex line) {
        const QPoint at = Tree()->visualRect(Node(line)).center();
        QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(Tree()->viewport(), Qt::LeftButton, {}, at);
    }
    QStringList ChildTexts(LineIndex line) {
        QStringList texts;
        const QModelIndex parent = Node(line);
        for (int row = 0; row < Model()->rowCount(parent); ++row)
            texts.append(Model()->index(row, 0, parent).data().toString());
        return texts;
    }

    FakeDesktop* desktop = nullptr; // owned by the window once it has asked for it
    QStringList warnings;
    VolumeSource volumes; // empty: the machine's own
    std::unique_ptr<Form1> form;

private:
    QTemporaryDir m_dir;
    QString m_settings;
    std::chrono::milliseconds m_interval{16};
    bool m_realNotices = false;
    std::unique_ptr<FakeDesktop> m_desktop;
};

// Many blocks of three lines: enough lines for a walk that lets events run many times.
inline QByteArray ManyBlocks(int blocks, int innerLines = 1) {
    QByteArray text;
    for (int i = 0; i < blocks; ++i) {
        text += "Object Unit" + QByteArray::number(i) + " ; unit\r\n";
        for (int j = 0; j < innerLines; ++j)
            text += "  Speed = " + QByteArray::number(j) + "\r\n";
        text += "End\r\n";
    }
    return text;
}

} // namespace ini::test
