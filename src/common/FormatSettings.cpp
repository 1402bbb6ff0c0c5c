#include "FormatSettings.h"

TFormatSettings TFormatSettings::Fixed()
{
    TFormatSettings fs;
    fs.LongMonthNames = {u"Январь"_qs, u"Февраль"_qs, u"Март"_qs, u"Апрель"_qs,
                         u"Май"_qs, u"Июнь"_qs, u"Июль"_qs, u"Август"_qs,
                         u"Сентябрь"_qs, u"Октябрь"_qs, u"Ноябрь"_qs, u"Декабрь"_qs};
    fs.ShortMonthNames = {u"янв"_qs, u"фев"_qs, u"мар"_qs, u"апр"_qs, u"май"_qs, u"июн"_qs,
                          u"июл"_qs, u"авг"_qs, u"сен"_qs, u"окт"_qs, u"ноя"_qs, u"дек"_qs};
    fs.LongDayNames = {u"воскресенье"_qs, u"понедельник"_qs, u"вторник"_qs, u"среда"_qs,
                       u"четверг"_qs, u"пятница"_qs, u"суббота"_qs};
    fs.ShortDayNames = {u"вс"_qs, u"пн"_qs, u"вт"_qs, u"ср"_qs, u"чт"_qs, u"пт"_qs, u"сб"_qs};
    return fs;
}

TFormatSettings &FormatSettings()
{
    static TFormatSettings settings = TFormatSettings::Fixed();
    return settings;
}
