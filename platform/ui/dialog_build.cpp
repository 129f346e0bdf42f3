// Dialog templates laid out as absolutely placed widgets, and the control events that become
// the dialog procedure's messages.
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCursor>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>

#include "dialog_template.h"
#include "platform/resources.h"
#include "ui_internal.h"

namespace platform::ui {
namespace {

// F1 and right clicks become WM_HELP and WM_CONTEXTMENU of the dialog that holds the control;
// an edit's focus loss is EN_KILLFOCUS; typing is held to a digits-only edit's digits and to an
// edit's limit (set text and pasted text are not limited, as on Windows).
class ControlEvents : public QObject {
public:
    ControlEvents(Window* control, QObject* owner) : QObject(owner), control_(control) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
            case QEvent::KeyPress: {
                auto* key = static_cast<QKeyEvent*>(event);
                if (key->key() == Qt::Key_F1) {
                    HelpKey();
                    return true;
                }
                return control_->kind == Kind::Edit && TypingRefused(key);
            }
            case QEvent::ContextMenu: {
                const QPoint at = static_cast<QContextMenuEvent*>(event)->globalPos();
                DialogProcCall(control_->parent, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(HandleOf(control_)),
                               MAKELPARAM(at.x(), at.y()));
                return true;
            }
            case QEvent::FocusOut:
                if (control_->kind == Kind::Edit) ControlNotify(control_, EN_KILLFOCUS);
                return false;
            default: return false;
        }
    }

private:
    void HelpKey()
    {
        HELPINFO info{};
        info.cbSize = sizeof info;
        info.iContextType = HELPINFO_WINDOW;
        info.iCtrlId = control_->id;
        info.hItemHandle = HandleOf(control_);
        const QPoint at = QCursor::pos();
        info.MousePos = {at.x(), at.y()};
        DialogProcCall(control_->parent, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    }

    bool TypingRefused(QKeyEvent* key) const
    {
        const QString text = key->text();
        if (text.isEmpty() || !text[0].isPrint() || (key->modifiers() & Qt::ControlModifier)) return false;
        if (control_->digitsOnly && !text[0].isDigit()) return true;
        auto* edit = static_cast<QLineEdit*>(control_->widget.data());
        return control_->textLimit > 0 && !edit->hasSelectedText() && edit->text().size() >= control_->textLimit;
    }

    Window* control_;
};

// A group box is only a frame and its title, as on Windows: what the dialog paints inside it
// shows as painted (the style's group box shades its inside), and the mouse goes through it to
// the dialog.
class FrameBox : public QGroupBox {
public:
    FrameBox(const QString& title, QWidget* parent) : QGroupBox(title, parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        const int top = metrics.height() / 2;
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(QRect(0, top, width() - 1, height() - top - 1));
        if (title().isEmpty()) return;
        const QRect label(6, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
        painter.fillRect(label, palette().color(QPalette::Window));
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        painter.drawText(label, Qt::AlignCenter, title());
    }
};

QWidget* ControlWidget(const ItemTemplate& item, QWidget* container, Kind& kind)
{
    const QString text = ToQString(item.text);
    if (item.kind == "LTEXT" || item.kind == "RTEXT" || item.kind == "CTEXT") {
        kind = Kind::Static;
        auto* label = new QLabel(text, container);
        label->setAlignment((item.kind == "LTEXT"   ? Qt::AlignLeft
                             : item.kind == "RTEXT" ? Qt::AlignRight
                                                    : Qt::AlignHCenter) |
                            Qt::AlignTop);
        return label;
    }
    if (item.kind == "GROUPBOX") {
        kind = Kind::GroupBox;
        return new FrameBox(text, container);
    }
    if (item.kind == "EDITTEXT") {
        kind = Kind::Edit;
        auto* edit = new QLineEdit(text, container);
        edit->setReadOnly(item.flags & kReadOnly);
        return edit;
    }
    if (item.kind == "PUSHBUTTON" || item.kind == "DEFPUSHBUTTON") {
        kind = Kind::Button;
        auto* button = new QPushButton(text, container);
        button->setAutoDefault(false);
        button->setDefault(item.kind == "DEFPUSHBUTTON");
        return button;
    }
    if (item.kind == "CHECKBOX") {
        kind = Kind::CheckBox;
        return new QCheckBox(text, container);
    }
    if (item.kind == "COMBOBOX") {
        kind = Kind::Combo;
        return new QComboBox(container);
    }
    if (item.kind == "VSCROLL") {
        kind = Kind::SpinBar;
        auto* bar = new QScrollBar(Qt::Vertical, container);
        bar->setRange(0, 2);
        bar->setValue(1);
        return bar;
    }
    kind = Kind::ListView;
    auto* list = new QTreeWidget(container);
    list->setRootIsDecorated(false);
    list->setHeaderHidden(true);  // until the list's columns are inserted
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    return list;
}

void ControlConnect(Window* control)
{
    QWidget* widget = control->widget;
    switch (control->kind) {
        case Kind::Edit:
            QObject::connect(static_cast<QLineEdit*>(widget), &QLineEdit::textChanged,
                             [control] { ControlNotify(control, EN_CHANGE); });
            break;
        case Kind::Button:
            QObject::connect(static_cast<QPushButton*>(widget), &QPushButton::clicked,
                             [control] { ControlNotify(control, BN_CLICKED); });
            break;
        case Kind::CheckBox:
            QObject::connect(static_cast<QCheckBox*>(widget), &QCheckBox::clicked,
                             [control] { ControlNotify(control, BN_CLICKED); });
            break;
        case Kind::Combo:
            QObject::connect(static_cast<QComboBox*>(widget), &QComboBox::activated,
                             [control] { ControlNotify(control, CBN_SELCHANGE); });
            break;
        case Kind::SpinBar: {
            auto* bar = static_cast<QScrollBar*>(widget);
            QObject::connect(bar, &QScrollBar::actionTriggered, [control, bar](int action) {
                const int code = action == QAbstractSlider::SliderSingleStepSub   ? SB_LINEUP
                                 : action == QAbstractSlider::SliderSingleStepAdd ? SB_LINEDOWN
                                                                                  : -1;
                bar->setSliderPosition(1);  // a spin bar has no position of its own
                if (code >= 0)
                    DialogProcCall(control->parent, WM_VSCROLL, MAKEWPARAM(code, 0),
                                   reinterpret_cast<LPARAM>(HandleOf(control)));
            });
            break;
        }
        default: break;
    }
    widget->installEventFilter(new ControlEvents(control, widget));
    if (control->kind == Kind::ListView)
        static_cast<QTreeWidget*>(widget)->viewport()->installEventFilter(new ControlEvents(control, widget));
}

}  // namespace

LRESULT DialogProcCall(Window* dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!dialog || !dialog->proc) return 0;
    dialog->longs[0] = 0;
    const INT_PTR handled = dialog->proc(HandleOf(dialog), message, wParam, lParam);
    Window* still = FromHandle(HandleOf(dialog));
    if (message == WM_NOTIFY) return handled && still ? still->longs[0] : 0;
    return handled;
}

void ControlNotify(Window* control, int code)
{
    DialogProcCall(control->parent, WM_COMMAND, MAKEWPARAM(control->id, code),
                   reinterpret_cast<LPARAM>(HandleOf(control)));
}

Window* DialogBuild(HINSTANCE instance, LPCWSTR templateName, Kind kind, Window* parent, QWidget* container,
                    DLGPROC proc, std::u16string* caption)
{
    HRSRC found = FindResourceW(instance, templateName, MAKEINTRESOURCEW(RT_DIALOG_ID));
    if (!found) return nullptr;
    const auto* bytes = static_cast<const unsigned char*>(LockResource(LoadResource(instance, found)));
    const auto parsed = DialogTemplateParse({bytes, SizeofResource(instance, found)});
    if (!parsed) return nullptr;
    QFont font(QString::fromStdString(parsed->font));
    font.setPointSize(parsed->points);
    container->setFont(font);
    // Dialog base units: a quarter of the average letter width across, an eighth of the height down.
    const QFontMetrics metrics(font);
    const int baseX =
        (metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) + 26) / 52;
    const int baseY = metrics.height();
    auto px = [&](int units) { return MulDiv(units, baseX, 4); };
    auto py = [&](int units) { return MulDiv(units, baseY, 8); };
    container->setFixedSize(px(parsed->cx), py(parsed->cy));
    if (caption) *caption = parsed->caption;

    Window* dialog = WindowCreate(kind, parent, 0, container);
    SurfaceConnect(dialog);
    dialog->proc = proc;
    dialog->longs[1] = reinterpret_cast<LONG_PTR>(proc);
    for (const ItemTemplate& item : parsed->items) {
        Kind controlKind;
        QWidget* widget = ControlWidget(item, container, controlKind);
        // A drop-down list's template height includes its open list; the closed box is one line.
        const int height = controlKind == Kind::Combo ? std::min(py(item.cy), py(12)) : py(item.cy);
        widget->setGeometry(px(item.x), py(item.y), px(item.cx), height);
        widget->setEnabled(!(item.flags & kDisabled));
        widget->setVisible(!(item.flags & kHidden));
        Window* control = WindowCreate(controlKind, dialog, item.id, widget);
        control->digitsOnly = item.flags & kNumber;
        ControlConnect(control);
        if (controlKind == Kind::ListView) ListViewAttach(control, item.flags & kSortAscending);
    }
    return dialog;
}

}  // namespace platform::ui
