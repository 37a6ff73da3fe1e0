#include "ui/find_bar.h"

#include "ui/path_text.h"

#include "parse/cp1252.h"
#include "parse/result.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include <utility>

namespace ini {

namespace {

// How often the bar asks the scan for news while it runs or a move waits.
constexpr int pollMilliseconds = 10;
// Roots looked at for the comment plan between two runs of the window's events.
constexpr std::size_t planSlice = 50000;

QToolButton* AddButton(QWidget* parent, QLayout* layout, const char* name, const QString& tip) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setToolTip(tip);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(button);
    return button;
}

} // namespace

FindBar::FindBar(const LineStore& lines, FindHost host, QWidget* parent)
    : QFrame(parent), m_lines(lines), m_host(std::move(host)), m_planSlices(new QTimer(this)),
      m_poll(new QTimer(this)) {
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(2);

    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("FindText"));
    m_text->setPlaceholderText(QStringLiteral("Find in all blocks"));
    m_text->setClearButtonEnabled(true);
    layout->addWidget(m_text, 1);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("FindStatus"));
    m_status->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("888888 of 888888+")));
    layout->addWidget(m_status);

    QToolButton* previous =
        AddButton(this, layout, "FindPrevious", QStringLiteral("Previous match (Shift+F3)"));
    previous->setArrowType(Qt::UpArrow);
    QToolButton* next = AddButton(this, layout, "FindNext", QStringLiteral("Next match (F3)"));
    next->setArrowType(Qt::DownArrow);
    QToolButton* close = AddButton(this, layout, "FindClose", QStringLiteral("Close (Esc)"));
    close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));

    connect(m_text, &QLineEdit::textChanged, this, [this] { Restart(Move::Typed); });
    connect(m_text, &QLineEdit::returnPressed, this, &FindBar::FindNext);
    connect(previous, &QToolButton::clicked, this, &FindBar::FindPrevious);
    connect(next, &QToolButton::clicked, this, &FindBar::FindNext);
    connect(close, &QToolButton::clicked, this, &FindBar::Close);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    // Wherever the keyboard is in the window while the bar shows: after F3 it is in the tree.
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &FindBar::Close);
    m_poll->setInterval(pollMilliseconds);
    connect(m_poll, &QTimer::timeout, this, &FindBar::Poll);
    m_planSlices->setInterval(0);
    m_planSlices->setSingleShot(true);
    connect(m_planSlices, &QTimer::timeout, this, &FindBar::BuildPlan);
    hide();
}

void FindBar::Open() {
    const bool wasHidden = isHidden();
    show();
    raise();
    m_text->setFocus();
    m_text->selectAll();
    if (wasHidden && !m_searching)
        Restart(Move::None);
}

void FindBar::Close() {
    hide();
    m_search.Reset();
    m_searching = false;
    m_scanning = false;
    m_pending = Move::None;
    m_poll->stop();
    m_planSlices->stop();
    emit closed();
}

void FindBar::FindNext() {
    if (isHidden())
        Open();
    Request(Move::Next);
}

void FindBar::FindPrevious() {
    if (isHidden())
        Open();
    Request(Move::Previous);
}

void FindBar::Suspend() {
    m_suspended = true;
    m_search.Reset();
    m_searching = false;
    m_scanning = false;
    m_plan.reset();
    m_builder.reset();
    m_pending = Move::None;
    m_poll->stop();
    m_planSlices->stop();
    ShowStatus();
}

void FindBar::Resume() {
    m_suspended = false;
    // What was typed (or asked with Enter) meanwhile is searched in the new lines.
    const Move move = std::exchange(m_afterSuspend, Move::None);
    if (!isHidden())
        Restart(move);
}

void FindBar::CommentSwitchChanged() {
    m_plan.reset();
    m_builder.reset();
    if (m_searching)
        Restart(Move::None);
}

void FindBar::Restart(Move move) {
    m_search.Reset();
    m_searching = false;
    m_scanning = false;
    m_pending = Move::None;
    if (m_suspended && move != Move::None)
        m_afterSuspend = move;
    if (m_suspended || isHidden()) {
        ShowStatus();
        return;
    }
    m_searching = true;
    Request(move);
    BuildPlan();
    m_poll->start();
    ShowStatus();
}

void FindBar::BuildPlan() {
    if (!m_searching || m_scanning)
        return;
    const std::optional<std::string> needle = Needle();
    if (needle && !needle->empty()) {
        if (!m_plan) {
            if (!m_builder)
                m_builder.emplace(m_host.commentSwitch());
            if (!m_builder->Step(m_host.nodes(), planSlice)) {
                m_planSlices->start();
                return;
            }
            m_plan = std::make_shared<const CommentPlan>(m_builder->Take());
            m_builder.reset();
        }
        m_search.Start(m_lines, *needle, m_plan);
    }
    m_scanning = true;
    TryMove();
}

void FindBar::Request(Move move) {
    if (m_suspended)
        m_afterSuspend = move;
    if (m_suspended || !m_searching)
        return;
    m_pending = move;
    m_from = m_host.currentLine();
    TryMove();
    if (m_pending != Move::None)
        m_poll->start();
}

void FindBar::TryMove() {
    if (!m_scanning)
        return;
    OutlineSearch::Answer answer;
    switch (m_pending) {
    case Move::None:
        return;
    case Move::Typed:
        answer = m_search.Next(m_from.value_or(0), true);
        break;
    case Move::Next:
        answer = m_from ? m_search.Next(*m_from, false) : m_search.Next(0, true);
        break;
    case Move::Previous:
        answer = m_search.Previous(m_from.value_or(m_lines.Count()));
        break;
    }
    if (answer.state == OutlineSearch::State::Pending)
        return;
    const Move move = std::exchange(m_pending, Move::None);
    // Going may fill a block, which lets events run: a move asked for meanwhile is kept.
    if (answer.state == OutlineSearch::State::Found && !m_host.goToLine(answer.line) &&
        m_pending == Move::None)
        m_pending = move;
    ShowStatus();
}

void FindBar::Poll() {
    TryMove();
    ShowStatus();
    if (m_scanning && m_pending == Move::None && m_search.Count(std::nullopt).complete)
        m_poll->stop();
}

void FindBar::ShowStatus() {
    if (!m_searching || m_text->text().isEmpty()) {
        m_status->clear();
        return;
    }
    if (!m_scanning) {
        m_status->setText(QStringLiteral("Searching"));
        return;
    }
    const OutlineSearch::Tally tally = m_search.Count(m_host.currentLine());
    // A scan cut short by memory found more than it could keep.
    const QString more = tally.complete && !tally.cutShort ? QString() : QStringLiteral("+");
    QString text;
    if (tally.matches == 0)
        text = tally.complete ? QStringLiteral("No matches") : QStringLiteral("Searching");
    else if (tally.ordinal > 0)
        text = QStringLiteral("%1 of %2%3").arg(tally.ordinal).arg(tally.matches).arg(more);
    else
        text = (tally.matches == 1 && more.isEmpty() ? QStringLiteral("%1%2 match")
                                                     : QStringLiteral("%1%2 matches"))
                   .arg(tally.matches)
                   .arg(more);
    // The field keeps its room: the whole reason is in the tip.
    m_status->setText(tally.cutShort ? text + QStringLiteral(", not enough memory") : text);
    m_status->setToolTip(tally.cutShort
                             ? SentenceOf(NotEnoughMemory("search further")) +
                                   QStringLiteral(": the matches are those found before it ran out")
                             : QString());
}

std::optional<std::string> FindBar::Needle() const {
    const QString text = m_text->text();
    if (m_lines.IsValidUtf8())
        return text.toStdString();
    // Text that is not UTF-8 is shown as Windows-1252, so it is searched in it too.
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    for (const QChar character : text) {
        const std::optional<unsigned char> byte = UnicodeToCp1252(character.unicode());
        if (!byte)
            return std::nullopt;
        bytes.push_back(static_cast<char>(*byte));
    }
    return bytes;
}

} // namespace ini
