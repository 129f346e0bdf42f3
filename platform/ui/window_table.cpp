#include <QApplication>
#include <algorithm>
#include <cstdlib>
#include <unordered_set>

#include "platform/window_qt.h"
#include "ui_internal.h"

namespace platform::ui {
namespace {

// One sheet at a time runs on the UI thread; the table is that thread's.
std::unordered_set<Window*>& Live()
{
    static std::unordered_set<Window*> live;
    return live;
}

}  // namespace

HWND HandleOf(const Window* window) { return reinterpret_cast<HWND>(const_cast<Window*>(window)); }

Window* FromHandle(HWND handle)
{
    auto* window = reinterpret_cast<Window*>(handle);
    return Live().count(window) ? window : nullptr;
}

Window* WindowCreate(Kind kind, Window* parent, int id, QWidget* widget)
{
    auto* window = new Window{};
    window->kind = kind;
    window->parent = parent;
    window->id = id;
    window->widget = widget;
    if (widget) widget->setProperty("faxWindow", QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(window)));
    if (parent) parent->children.push_back(window);
    Live().insert(window);
    return window;
}

void WindowDestroy(Window* window)
{
    if (!window || !Live().count(window)) return;
    for (Window* child : std::vector<Window*>(window->children)) WindowDestroy(child);
    if (window->parent) {
        auto& siblings = window->parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), window), siblings.end());
    }
    if (window->widget) window->widget->setProperty("faxWindow", QVariant());
    Live().erase(window);
    delete window;
}

QWidget* WidgetOf(HWND handle)
{
    Window* window = FromHandle(handle);
    return window ? window->widget.data() : nullptr;
}

HWND WindowOf(const QWidget* widget)
{
    if (!widget) return nullptr;
    const QVariant value = widget->property("faxWindow");
    if (!value.isValid()) return nullptr;
    auto* window = reinterpret_cast<Window*>(value.value<quintptr>());
    return Live().count(window) ? HandleOf(window) : nullptr;
}

void ApplicationEnsure()
{
    if (QApplication::instance()) return;
    // A library shown from a host without Qt makes the application object itself; it lives for
    // the rest of the process, as the host's would.
    static int argc = 1;
    static char name[] = "faxdriver";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

bool OffscreenPlatform()
{
    ApplicationEnsure();
    return QGuiApplication::platformName() == QLatin1String("offscreen");
}

QString ToQString(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string FromQString(const QString& text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
}

std::u16string Utf8To16(std::string_view text)
{
    return FromQString(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

std::string Utf16To8(std::u16string_view text) { return ToQString(text).toStdString(); }

std::string NativeName(std::string name)
{
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

std::u16string TextOf(LPCWSTR text) { return text ? std::u16string(text) : std::u16string(); }

int TextCopyOut(const std::u16string& text, LPWSTR buffer, int size)
{
    if (!buffer || size <= 0) return 0;
    const size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
    text.copy(buffer, n);
    buffer[n] = 0;
    return static_cast<int>(n);
}

}  // namespace platform::ui
