// date_print.cpp - a date shown through the messages. Apart from the rest
// of the date module, which messages use for their time stamps: the dates
// stay below the messages, and this routine above them.
#include "vyrbase.h"

int DATE_print(M_type level, const Date *date) {
    if (date == nullptr) return 0;
    MESS_print(level, "%d/%d/%d %2.2d:%2.2d:%2.2d\n", date->year, date->month, date->day,
               date->hour, date->min, date->sec);
    return 0;
}
