// Velmora's resources: the Russian string table and the dialog templates of the two pages and
// the sender dialog (in the window layer's text form, dialog units as on the original platform).
#include "platform/kernel.h"
#include "platform/resources.h"

namespace {

// Blocks of 16 strings: block b holds ids (b - 1) * 16 .. (b - 1) * 16 + 15.
alignas(2) constexpr auto kBlock501 = FaxStringBlock(  // 8000..8015
    u"", u"", u"", u"", u"", u"", u"", u"", u"", u"", u"", u"Сведения об отправителе", u"Имя:", u"Название компании:",
    u"Отдел:", u"Номер телефона:");
alignas(2) constexpr auto kBlock502 = FaxStringBlock(  // 8016..8031
    u"Номер факса:", u"Адрес эл. почты:", u"Адрес: ");
alignas(2) constexpr auto kBlock503 = FaxStringBlock(  // 8032..8047
    u"", u"", u"", u"", u"", u"", u"", u"", u"", u"", u"Настройки факса", u"Список контактов/группы",
    u"Список отправки", u"Титульный лист", u"Выбрать титульный лист", u"Без титульного листа");
alignas(2) constexpr auto kBlock504 = FaxStringBlock(  // 8048..8063
    u"Стиль 1", u"Стиль 2", u"Стиль 3", u"Стиль 4", u"Стиль 5", u"Стиль 6", u"Стиль 7", u"Стиль 8", u"Стиль 9",
    u"Вставить изображение", u"Путь файла:", u"Масштаб:", u"Расположение  X (%):", u"   Y (%):",
    u"Информация на титульном листе", u"Тема:");
alignas(2) constexpr auto kBlock505 = FaxStringBlock(  // 8064..8079
    u"Отправитель:", u"Дата/время:", u"Изменить…", u"", u"Ошибка");
alignas(2) constexpr auto kBlock506 = FaxStringBlock(  // 8080..8095
    u"", u"ОК", u"Отмена", u"", u"", u"", u"", u"", u"", u"", u"", u"", u"", u"Имя", u"Название компании");
alignas(2) constexpr auto kBlock507 = FaxStringBlock(  // 8096..8111
    u"", u"Номер факса", u"", u"", u"*Имя:", u"Название компании:", u"Отдел:", u"Номер телефона:", u"*Номер факса:",
    u"Адрес эл. почты:", u"Адрес: ", u"Дата/время:", u"Отправить факс: всем выбранным контактам");
alignas(2) constexpr auto kBlock532 = FaxStringBlock(  // 8496..8511
    u"", u"", u"", u"", u"", u"", u"Число записей в группе ограничивается 50 номерами", u"", u"", u"", u"",
    u"Введите тему", u"Выберите контакт из списка", u"Выберите номер факса", u"Выберите имя пользователя ");
alignas(2) constexpr auto kBlock533 = FaxStringBlock(  // 8512..8527
    u"", u"", u"Отправить факс по адресу");

constexpr char kSendPage[] =
    "DIALOG 365 229 \"Tahoma\" 8\n"
    "GROUPBOX 3809 10 10 163 206 \"\"\n"
    "LTEXT 3805 19 22 45 10 \"\"\n"
    "EDITTEXT 3806 68 22 98 12 AUTOHSCROLL\n"
    "LTEXT 3807 19 40 65 10 \"\"\n"
    "EDITTEXT 3808 68 38 98 12 AUTOHSCROLL\n"
    "LISTVIEW 3801 16 57 150 150 SORTASCENDING\n"
    "PUSHBUTTON 3802 175 77 15 18 \">\"\n"
    "PUSHBUTTON 3803 175 116 15 18 \"<\"\n"
    "GROUPBOX 3810 192 10 163 206 \"\"\n"
    "LISTVIEW 3804 199 22 150 184 SORTASCENDING\n"
    "RTEXT 3811 192 216 160 10 \"\"\n";

constexpr char kCoverPage[] =
    "DIALOG 365 229 \"Tahoma\" 8\n"
    "GROUPBOX 3004 10 10 120 206 \"\"\n"
    "LTEXT 3001 12 20 116 100 HIDDEN \"\"\n"
    "CTEXT 3601 12 125 116 8 \"\"\n"
    "GROUPBOX 3602 140 10 215 40 \"\"\n"
    "COMBOBOX 3604 225 25 123 50\n"
    "GROUPBOX 3605 140 55 215 75 \"\"\n"
    "CHECKBOX 3606 146 55 94 8 \"\"\n"
    "LTEXT 3607 156 73 69 8 \"\"\n"
    "EDITTEXT 3608 225 73 106 12 READONLY AUTOHSCROLL\n"
    "PUSHBUTTON 3615 333 73 16 12 \"...\"\n"
    "LTEXT 3609 156 91 69 8 \"\"\n"
    "EDITTEXT 3610 225 91 34 12 NUMBER\n"
    "VSCROLL 3617 260 91 10 12\n"
    "LTEXT 3616 276 91 36 8 \"%\"\n"
    "CTEXT 3611 145 109 76 8 \"\"\n"
    "EDITTEXT 3612 225 109 34 12 NUMBER\n"
    "VSCROLL 3618 260 109 10 12\n"
    "LTEXT 3613 270 109 36 8 \"\"\n"
    "EDITTEXT 3614 303 109 34 12 NUMBER\n"
    "VSCROLL 3619 338 109 10 12\n"
    "GROUPBOX 3620 140 135 215 81 \"\"\n"
    "CHECKBOX 3621 150 149 58 8 \"\"\n"
    "EDITTEXT 3622 225 149 123 12 AUTOHSCROLL\n"
    "CHECKBOX 3626 150 165 105 8 \"\"\n"
    "CHECKBOX 3623 150 181 65 8 \"\"\n"
    "PUSHBUTTON 3624 225 181 123 12 \"\"\n"
    "CHECKBOX 3625 150 197 58 8 \"\"\n";

constexpr char kSenderDialog[] =
    "DIALOG 230 185 \"Tahoma\" 8\n"
    "LTEXT 3102 10 10 80 10 \"\"\n"
    "EDITTEXT 3103 90 10 130 12 AUTOHSCROLL\n"
    "LTEXT 3104 10 32 80 10 \"\"\n"
    "EDITTEXT 3105 90 32 130 12 AUTOHSCROLL\n"
    "LTEXT 3106 10 54 80 10 \"\"\n"
    "EDITTEXT 3107 90 54 130 12 AUTOHSCROLL\n"
    "LTEXT 3108 10 76 80 10 \"\"\n"
    "EDITTEXT 3109 90 76 130 12 AUTOHSCROLL\n"
    "LTEXT 3110 10 98 80 10 \"\"\n"
    "EDITTEXT 3111 90 98 130 12 AUTOHSCROLL\n"
    "LTEXT 3112 10 120 80 10 \"\"\n"
    "EDITTEXT 3113 90 120 130 12 AUTOHSCROLL\n"
    "LTEXT 3114 10 142 80 10 \"\"\n"
    "EDITTEXT 3115 90 142 130 12 AUTOHSCROLL\n"
    "DEFPUSHBUTTON 3002 110 164 50 14 \"\"\n"
    "PUSHBUTTON 2 170 164 50 14 \"\"\n";

}  // namespace

#define FAX_STRING_BLOCK(block, bytes)                                                  \
    {                                                                                   \
        FaxResourceKey(RT_STRING_ID), FaxResourceKey(block), bytes.data(), bytes.size() \
    }
#define FAX_DIALOG(id, text)                                                    \
    {                                                                           \
        FaxResourceKey(RT_DIALOG_ID), FaxResourceKey(id), text, sizeof text - 1 \
    }

FAX_RESOURCE_TABLE(VelmoraResources, FAX_STRING_BLOCK(501, kBlock501), FAX_STRING_BLOCK(502, kBlock502),
                   FAX_STRING_BLOCK(503, kBlock503), FAX_STRING_BLOCK(504, kBlock504), FAX_STRING_BLOCK(505, kBlock505),
                   FAX_STRING_BLOCK(506, kBlock506), FAX_STRING_BLOCK(507, kBlock507), FAX_STRING_BLOCK(532, kBlock532),
                   FAX_STRING_BLOCK(533, kBlock533), FAX_DIALOG(3800, kSendPage), FAX_DIALOG(3830, kCoverPage),
                   FAX_DIALOG(3100, kSenderDialog));
