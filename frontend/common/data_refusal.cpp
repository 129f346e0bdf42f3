#include "frontend/common/data_refusal.h"

namespace {

const char16_t* Why(DataFolderVerdict verdict)
{
    switch (verdict) {
        case kDataFolderNoTemporary: return u"не может быть найдена: путь временной папки не задан или слишком длинный";
        case kDataFolderNotAFolder: return u"не является папкой (на её месте ссылка или файл)";
        case kDataFolderForeign: return u"принадлежит другому пользователю";
        case kDataFolderUnopenable: return u"не может быть создана или открыта";
        case kDataFolderUnmendable: return u"доступна другим пользователям, и её права не удаётся изменить";
        case kDataFolderPrivate: break;
    }
    return nullptr;
}

}  // namespace

std::u16string DataRefusalText(DataFolderVerdict verdict, std::u16string_view folder)
{
    const char16_t* why = Why(verdict);
    if (!why) return {};
    std::u16string text(u"Папка данных факса \"");
    text += folder.empty() ? std::u16string_view(u"QUOBADAT") : folder;
    text += u"\" ";
    text += why;
    text += u". Адресная книга и получатели не читаются и не сохраняются.\n\n";
    text += verdict == kDataFolderNoTemporary
                ? u"Задайте короткий путь временной папки (переменная TMPDIR) и повторите."
                : u"Удалите или переименуйте этот объект (или попросите его владельца сделать это) и повторите: "
                  u"папка будет создана заново, доступная только вам.";
    return text;
}
