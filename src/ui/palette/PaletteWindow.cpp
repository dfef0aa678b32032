// SPDX-License-Identifier: GPL-3.0-or-later
#include "PaletteWindow.h"

#include "PaletteFooter.h"
#include "PaletteModel.h"
#include "PaletteRowActions.h"
#include "PaletteRowDelegate.h"
#include "core/services/KeyboardLayout.h"
#include "core/settings/AppSettings.h"
#include "ui/ReservedShortcuts.h"
#include "ui/Scheduler.h"
#include "ui/ThemeApplier.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

namespace scrivlet {

namespace {

QFrame *divider(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

} // namespace

PaletteWindow::PaletteWindow(Services services, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_model(services.model)
    , m_rows(services.rows)
    , m_settings(services.settings)
    , m_scheduler(services.scheduler)
    , m_layout(services.layout)
{
    setWindowTitle(tr("Presse-papiers"));
    setAccessibleName(tr("Presse-papiers"));
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    setAttribute(Qt::WA_ShowWithoutActivating, false);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    buildSearchField();
    layout->addWidget(m_search);
    layout->addWidget(divider(this));
    buildList();
    layout->addWidget(m_stack, 1);
    layout->addWidget(divider(this));
    m_footer = new PaletteFooter(
        {
            {QStringLiteral("⏎"), tr("coller")},
            {QStringLiteral("⇧⏎"), tr("texte brut")},
            {QStringLiteral("Ctrl+P"), tr("épingler")},
            {QStringLiteral("Ctrl+⌫"), tr("supprimer")},
        },
        this);
    layout->addWidget(m_footer);
    followModel();
    connect(&m_settings, &AppSettings::changed, this, &PaletteWindow::applyAccent);
    applyAccent();
}

void PaletteWindow::buildSearchField()
{
    m_search = new QLineEdit(this);
    m_search->setPlaceholderText(tr("Rechercher…"));
    m_search->setAccessibleName(tr("Rechercher"));
    m_search->setFrame(false);
    QFont searchFont = m_search->font();
    searchFont.setPointSizeF(searchFont.pointSizeF() * 1.25);
    m_search->setFont(searchFont);
    m_search->setTextMargins(12, 10, 12, 10);
    m_search->installEventFilter(this);
    connect(m_search, &QLineEdit::textChanged, &m_model, &PaletteModel::setQuery);
}

void PaletteWindow::buildList()
{
    m_stack = new QStackedWidget(this);
    m_list = new QListView(m_stack);
    m_list->setModel(&m_model);
    m_list->setItemDelegate(&m_rows);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setUniformItemSizes(false);
    // Rows are as tall as their text wraps to, in the width they get.
    m_list->setResizeMode(QListView::Adjust);
    m_list->setSpacing(1);
    m_list->setMouseTracking(true);
    m_list->setAccessibleName(tr("Historique"));
    m_list->viewport()->installEventFilter(this);
    m_list->viewport()->setBackgroundRole(QPalette::Window);
    m_actions = new PaletteRowActions(m_list->viewport());
    for (QToolButton *button : {&m_actions->pinButton(), &m_actions->removeButton()})
        button->installEventFilter(this);
    setTabOrder(m_search, &m_actions->pinButton());
    setTabOrder(&m_actions->pinButton(), &m_actions->removeButton());
    connect(m_actions, &PaletteRowActions::pinClicked, &m_model, &PaletteModel::togglePinAt);
    connect(m_actions, &PaletteRowActions::removeClicked, &m_model, &PaletteModel::deleteAt);
    connect(
        m_list->verticalScrollBar(), &QScrollBar::valueChanged, this, &PaletteWindow::placeActions);
    m_empty = new QLabel(m_stack);
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setForegroundRole(QPalette::PlaceholderText);
    m_stack->addWidget(m_list);
    m_stack->addWidget(m_empty);
}

void PaletteWindow::followModel()
{
    connect(&m_model, &QAbstractItemModel::modelReset, this, [this] {
        // The rows changed under a pending click: its row is someone else's now.
        cancelPendingClick();
        updateEmptyState();
        placeActions();
    });
    connect(&m_model, &PaletteModel::pasteRequested, this, &PaletteWindow::cancelPendingClick);
    connect(&m_model, &PaletteModel::selectionChanged, this, [this](int row) {
        m_list->scrollTo(m_model.index(row), m_selectionScroll);
        placeActions();
    });
}

int PaletteWindow::quickDigit(const QKeyEvent *event) const
{
    if (m_layout) {
        if (const auto key = m_layout->keyAt(quint32(event->nativeScanCode()))) {
            if (const std::optional<int> digit = quickKeyDigit(*key))
                return *digit;
        }
    }
    if (event->key() >= Qt::Key_1 && event->key() <= Qt::Key_9)
        return event->key() - Qt::Key_0;
    return 0;
}

void PaletteWindow::cancelPendingClick()
{
    m_clickPending = false;
    ++m_clickCount;
    m_clickedRow = -1;
}

void PaletteWindow::placeActions()
{
    const bool keyboard = m_actions->hasKeyboard();
    int row = -1;
    if (keyboard)
        row = m_model.selection();
    else if (m_pointer)
        row = m_list->indexAt(*m_pointer).row();
    const ClipItemPtr item = m_model.entryAt(row);
    if (!item) {
        m_actions->conceal();
        row = -1;
        // Hiding a focused button would pass the keyboard on at random.
        if (keyboard)
            m_search->setFocus(Qt::OtherFocusReason);
    } else {
        m_actions->showOver(row,
            PaletteRowDelegate::actionsArea(
                m_list->visualRect(m_model.index(row)), PaletteRowActions::kSize),
            item->isPinned(), m_model.index(row).data(Qt::AccessibleTextRole).toString());
    }
    m_rows.setActionsRow(row);
    m_list->viewport()->update();
}

void PaletteWindow::reset()
{
    cancelPendingClick();
    m_heldKeys.clear();
    m_pointer.reset();
    m_search->blockSignals(true);
    m_search->clear();
    m_search->blockSignals(false);
    m_model.setQuery(QString());
    m_model.reload();
    m_list->scrollToTop();
    applyAccent();
    updateEmptyState();
    m_search->setFocus(Qt::ActiveWindowFocusReason);
    placeActions();
}

void PaletteWindow::applyAccent()
{
    m_rows.setAccent(
        ThemeApplier::accentColor(AccentChoice::by(m_settings.accentColorID()), palette()));
    m_list->viewport()->update();
}

void PaletteWindow::updateEmptyState()
{
    const QString empty = m_model.emptyText();
    m_empty->setText(empty);
    m_stack->setCurrentWidget(empty.isEmpty() ? static_cast<QWidget *>(m_list) : m_empty);
}

int PaletteWindow::rowsPerPage() const
{
    const int row = m_list->sizeHintForRow(0);
    return row > 0 ? std::max(1, m_list->viewport()->height() / row) : 5;
}

bool PaletteWindow::handleKey(QKeyEvent *event)
{
    return handleKeyPress(event, m_heldKeys.isRepeat(*event));
}

bool PaletteWindow::focusActions(bool last)
{
    const int row = m_model.selection();
    const ClipItemPtr item = m_model.entryAt(row);
    if (!item)
        return true; // nothing to reach: the keyboard stays in the field
    m_actions->showOver(row,
        PaletteRowDelegate::actionsArea(
            m_list->visualRect(m_model.index(row)), PaletteRowActions::kSize),
        item->isPinned(), m_model.index(row).data(Qt::AccessibleTextRole).toString());
    QToolButton &button = last ? m_actions->removeButton() : m_actions->pinButton();
    button.setFocus(last ? Qt::BacktabFocusReason : Qt::TabFocusReason);
    return true;
}

bool PaletteWindow::handleActionKey(QKeyEvent *event)
{
    const bool repeat = m_heldKeys.isRepeat(*event);
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (!repeat && event->modifiers() == Qt::NoModifier) {
            if (auto *button = qobject_cast<QToolButton *>(focusWidget()))
                button->click();
        }
        return true;
    case Qt::Key_Escape:
        m_search->setFocus(Qt::OtherFocusReason);
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return false;
    default:
        break;
    }
    if (handleKeyPress(event, repeat))
        return true;
    // Typing goes on in the search field.
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint() && !(event->modifiers() & Qt::ControlModifier)) {
        m_search->setFocus(Qt::OtherFocusReason);
        m_search->insert(text);
        return true;
    }
    return false;
}

// One switch over every key the palette binds: read together they show
// which keys act once per press and which repeat.
bool PaletteWindow::handleKeyPress(QKeyEvent *event, bool repeat)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool control = modifiers & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Down:
        m_model.move(+1);
        return true;
    case Qt::Key_Up:
        m_model.move(-1);
        return true;
    case Qt::Key_PageDown:
        m_model.move(+rowsPerPage());
        return true;
    case Qt::Key_PageUp:
        m_model.move(-rowsPerPage());
        return true;
    case Qt::Key_Home:
    case Qt::Key_End:
        // With text in the field they move its cursor instead.
        if (!m_model.query().isEmpty())
            return false;
        m_model.move(event->key() == Qt::Key_Home ? -m_model.rowCount() : m_model.rowCount());
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!repeat)
            m_model.pasteAt(m_model.selection(), modifiers & Qt::ShiftModifier);
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return focusActions(event->key() == Qt::Key_Backtab);
    case Qt::Key_Escape:
        if (!m_model.query().isEmpty())
            m_search->clear();
        else
            Q_EMIT closeRequested();
        return true;
    case Qt::Key_Backspace:
        if (!control)
            return false;
        // Holding the keys deletes one entry, not one per repeat.
        if (!repeat)
            m_model.deleteAt(m_model.selection());
        return true;
    case Qt::Key_P:
        if (!control)
            return false;
        if (!repeat)
            m_model.togglePinAt(m_model.selection());
        return true;
    default:
        break;
    }
    if (control) {
        if (const int digit = quickDigit(event)) {
            if (!repeat)
                m_model.pasteAt(digit - 1, false);
            return true;
        }
    }
    return false;
}

bool PaletteWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list->viewport())
        return handleListMouse(event);
    const bool button = watched == &m_actions->pinButton() || watched == &m_actions->removeButton();
    if (watched != m_search && !button)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress:
        return button ? handleActionKey(static_cast<QKeyEvent *>(event))
                      : handleKey(static_cast<QKeyEvent *>(event));
    case QEvent::KeyRelease:
        m_heldKeys.released(*static_cast<QKeyEvent *>(event));
        return false;
    case QEvent::MouseButtonDblClick:
        // The second click of a double click on a button is not a second
        // action: its press came just before, undone here before its release.
        if (button)
            static_cast<QToolButton *>(watched)->setDown(false);
        return button;
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        if (button)
            QTimer::singleShot(0, this, &PaletteWindow::placeActions);
        return false;
    default:
        return false;
    }
}

bool PaletteWindow::handleListMouse(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseMove: {
        const QPoint pointer = static_cast<QMouseEvent *>(event)->position().toPoint();
        const bool sameRow = m_pointer && m_list->indexAt(*m_pointer) == m_list->indexAt(pointer);
        m_pointer = pointer;
        if (!sameRow)
            placeActions();
        return false;
    }
    case QEvent::Leave:
        m_pointer.reset();
        placeActions();
        return false;
    case QEvent::Resize:
        QTimer::singleShot(0, this, &PaletteWindow::placeActions);
        return false;
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        const QModelIndex index = m_list->indexAt(mouse->position().toPoint());
        if (mouse->button() == Qt::LeftButton && index.isValid())
            pressRow(index);
        return true;
    }
    case QEvent::MouseButtonDblClick: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton)
            return true;
        // The row the first press chose, even if that press scrolled it.
        const int row = m_clickedRow;
        cancelPendingClick();
        m_model.pasteAt(row, false);
        return true;
    }
    default:
        return false;
    }
}

void PaletteWindow::pressRow(const QModelIndex &index)
{
    cancelPendingClick();
    m_clickedRow = index.row();
    {
        // A row already in full view stays under the pointer, so that a
        // second click lands on it; a half-hidden one is brought in.
        const QScopedValueRollback scroll(m_selectionScroll, QAbstractItemView::EnsureVisible);
        m_model.setSelection(index.row());
        m_list->scrollTo(index, QAbstractItemView::EnsureVisible);
    }
    if (!m_settings.pasteOnSingleClick())
        return;
    m_clickPending = true;
    m_scheduler.after(QApplication::doubleClickInterval(), this,
        [this, click = m_clickCount, row = m_clickedRow] {
            if (click != m_clickCount || !isVisible() || !m_settings.pasteOnSingleClick())
                return;
            m_clickPending = false;
            m_model.pasteAt(row, false);
        });
}

bool PaletteWindow::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::Show:
        m_activeSinceShown = false;
        break;
    case QEvent::WindowActivate:
        m_activeSinceShown = true;
        break;
    case QEvent::LayoutRequest:
        // Never narrower than the hints at the foot, in the font they got.
        setMinimumWidth(std::max(kMinimumWidth, layout()->minimumSize().width()));
        break;
    case QEvent::WindowDeactivate:
        if (m_activeSinceShown && isVisible()) {
            m_activeSinceShown = false;
            Q_EMIT deactivated();
        }
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void PaletteWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (isVisible())
        Q_EMIT resizedByUser(size());
}

void PaletteWindow::hideEvent(QHideEvent *event)
{
    // Hidden (pasted, dismissed, left for another window): a click made
    // before must not paste later.
    cancelPendingClick();
    m_heldKeys.clear();
    m_pointer.reset();
    if (m_actions->hasKeyboard())
        m_search->setFocus(Qt::OtherFocusReason);
    m_actions->conceal();
    m_rows.setActionsRow(-1);
    QWidget::hideEvent(event);
}

void PaletteWindow::mousePressEvent(QMouseEvent *event)
{
    // The window has no title bar: its background moves it.
    if (event->button() == Qt::LeftButton && windowHandle())
        windowHandle()->startSystemMove();
}

void PaletteWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace scrivlet
