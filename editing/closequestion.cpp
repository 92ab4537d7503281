#include "editing/closequestion.h"

std::optional<QString> TCloseQuestion::Text(int unconfirmedEdits)
{
    if (unconfirmedEdits <= 0)
        return std::nullopt;
    if (unconfirmedEdits == 1)
        return QStringLiteral("1 setting is not confirmed in the instrument. Close anyway?");
    return QStringLiteral("%1 settings are not confirmed in the instrument. Close anyway?")
        .arg(unconfirmedEdits);
}
