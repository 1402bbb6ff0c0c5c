#include "Limits.h"

#include "Exceptions.h"

void RaiseStringTooLong()
{
    throw Exception(QStringLiteral("Строка длиннее %1 символов").arg(MaxStringLength));
}
