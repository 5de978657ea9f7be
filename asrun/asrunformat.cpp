#include "asrunformat.h"

#include <QDir>

QByteArray csvField(const QString &text)
{
    QByteArray field = text.toUtf8();
    if (field.contains(',') || field.contains('"') || field.contains('\n') || field.contains('\r'))
        field = '"' + field.replace("\"", "\"\"") + '"';
    return field;
}

QString asRunFolder()
{
    return deskDataFolder() + QStringLiteral("/as-run");
}
