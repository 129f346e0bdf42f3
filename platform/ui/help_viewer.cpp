// The help viewer stand-in: topic pages open in the desktop's browser, popup texts show in a
// small popup window at the control; both through hooks that tests replace.
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QProcess>
#include <cerrno>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/window_hooks.h"
#include "ui_internal.h"

namespace platform::ui {
namespace {

struct HelpHooks {
    HelpTopicHook topic;
    HelpPopupHook popup;
};
HelpHooks& TheHelpHooks()
{
    static HelpHooks hooks;
    return hooks;
}

// "<help file>::/<inner file>" names a file inside the help folder.
std::string InnerPath(const std::string& file)
{
    const size_t split = file.find("::/");
    if (split == std::string::npos) return file;
    return file.substr(0, split) + "/" + file.substr(split + 3);
}

// The help file's name comes from the driver folder's value: only a regular file is read, and it
// is opened without blocking, so a FIFO in its place (even one put there after a look) never hangs
// the sheet. False when it is not there, not a regular file or cannot be read.
bool RegularFileRead(const std::string& path, std::string* text)
{
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char piece[16384];
    while (ok && text != nullptr) {
        const ssize_t got = ::read(fd, piece, sizeof piece);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        text->append(piece, static_cast<size_t>(got));
    }
    ::close(fd);
    return ok;
}

// A popup text is a popup window: it takes the keyboard while it shows, so Escape (or any key)
// and a click anywhere close it, never the sheet below; it stays until the user dismisses it.
class HelpPopup : public QLabel {
public:
    HelpPopup(const QString& text, QWidget* owner) : QLabel(text, owner, Qt::Popup)
    {
        setAttribute(Qt::WA_DeleteOnClose);
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setMargin(6);
        setWordWrap(true);
        setMaximumWidth(360);
        setForegroundRole(QPalette::ToolTipText);
        setBackgroundRole(QPalette::ToolTipBase);
        setAutoFillBackground(true);
        adjustSize();
    }

protected:
    void keyPressEvent(QKeyEvent*) override { close(); }
    void mousePressEvent(QMouseEvent*) override { close(); }
};

// The text of ".topic <id>" in a popup file, or empty.
std::u16string PopupText(const std::string& path, UINT topic)
{
    std::string whole;
    if (!RegularFileRead(path, &whole)) return {};
    std::istringstream in(whole);
    std::string line, text;
    bool inTopic = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind(".topic", 0) == 0) {
            if (inTopic) break;
            std::istringstream words(line.substr(6));
            long id = -1;
            inTopic = (words >> id) && id == static_cast<long>(topic);
            continue;
        }
        if (inTopic) text += (text.empty() ? "" : "\n") + line;
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return Utf8To16(text);
}

HWND PopupShow(HWND window, const std::string& file, UINT topic, POINT at, std::u16string_view font)
{
    const std::u16string text = PopupText(NativeName(InnerPath(file)), topic);
    if (text.empty()) return nullptr;
    if (auto& hook = TheHelpHooks().popup) {
        hook(text, at, font);
    } else {
        ApplicationEnsure();
        Window* owner = FromHandle(window);
        auto* popup = new HelpPopup(ToQString(text), owner && owner->widget ? owner->widget->window() : nullptr);
        popup->move(at.x, at.y);
        popup->show();
    }
    return window ? window : reinterpret_cast<HWND>(1);
}

}  // namespace

void SetHelpTopicHook(HelpTopicHook hook) { TheHelpHooks().topic = std::move(hook); }
void SetHelpPopupHook(HelpPopupHook hook) { TheHelpHooks().popup = std::move(hook); }

}  // namespace platform::ui

using namespace platform::ui;

FAX_MODULE_ORDINALS({15, "HtmlHelpW"});

extern "C" __attribute__((visibility("default"))) HWND HtmlHelpW(HWND window, LPCWSTR file, UINT command,
                                                                 DWORD_PTR data)
{
    if (!file) return nullptr;
    const std::string path = Utf16To8(file);
    switch (command) {
        case HH_HELP_CONTEXT: {
            const std::string page = NativeName(path) + "/" + std::to_string(data) + ".html";
            if (!RegularFileRead(page, nullptr)) return nullptr;
            if (auto& hook = TheHelpHooks().topic) {
                hook(page);
            } else {
                // The opener is watched, not waited for: the sheet goes on while the browser
                // starts, and an opener that finds no browser (or none at all) is said, since
                // help asked for and nothing shown would leave the user guessing.
                auto* opener = new QProcess(qApp);
                const auto say = [window, page](const char16_t* why) {
                    const std::u16string text =
                        u"Справку не удалось открыть: " + std::u16string(why) + u"\n" + Utf8To16(page);
                    MessageBoxW(window, text.c_str(), u"Справка", MB_OK | MB_ICONERROR);
                };
                QObject::connect(opener, &QProcess::finished, opener,
                                 [opener, say](int code, QProcess::ExitStatus status) {
                                     opener->deleteLater();
                                     if (status == QProcess::NormalExit && code == 0) return;
                                     say(u"программа xdg-open не нашла браузер, который показывает страницы справки.");
                                 });
                QObject::connect(opener, &QProcess::errorOccurred, opener, [opener, say](QProcess::ProcessError error) {
                    if (error != QProcess::FailedToStart) return;
                    opener->deleteLater();
                    say(u"нет программы xdg-open, которая показывает страницы справки в браузере.");
                });
                opener->start(QStringLiteral("xdg-open"), {QString::fromStdString(page)});
                if (!opener->waitForStarted(0) && opener->state() == QProcess::NotRunning &&
                    opener->error() == QProcess::FailedToStart)
                    return nullptr;
            }
            return window ? window : reinterpret_cast<HWND>(1);
        }
        case HH_DISPLAY_TEXT_POPUP: {
            const auto* popup = reinterpret_cast<const HH_POPUP*>(data);
            if (!popup || popup->cbStruct < static_cast<int>(sizeof(HH_POPUP))) return nullptr;
            return PopupShow(window, path, popup->idString, popup->pt, popup->pszFont ? popup->pszFont : u"");
        }
        case HH_TP_HELP_WM_HELP: {
            // The viewer finds the control's topic in the pairs itself.
            const auto* pairs = reinterpret_cast<const DWORD*>(data);
            const int id = GetDlgCtrlID(window);
            for (; pairs && pairs[0] != 0; pairs += 2) {
                if (static_cast<int>(pairs[0]) == id) {
                    RECT rect{};
                    GetWindowRect(window, &rect);
                    return PopupShow(window, path, pairs[1], {rect.left, rect.top}, u"");
                }
            }
            return nullptr;
        }
        default: return nullptr;
    }
}
