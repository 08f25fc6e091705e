// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "common_dialog.h"

#include <QFileDialog>

namespace quorvel::ui {

bool CommonDialog::Show(Kind DialogKind, QWidget* Parent)
{
    const std::optional<QString> chosen = Run(DialogKind, Parent);
    if (!chosen)
        return false;
    FileName = *chosen;
    return true;
}

QStringList NameFilters(const QString& Filter)
{
    const QStringList parts = Filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(u';', Qt::SkipEmptyParts)) {
            const QString trimmed = pattern.trimmed();
            const QString spelled = trimmed == u"*.*" ? QStringLiteral("*") : trimmed;
            patterns << spelled;
            if (spelled.toLower() != spelled)
                patterns << spelled.toLower();
        }
        patterns.removeDuplicates();
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(u' '));
    }
    return filters;
}

std::optional<QString> QtCommonDialog::Run(Kind DialogKind, QWidget* Parent)
{
    QFileDialog dialog(Parent);
    const bool open = DialogKind == Kind::Open;
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    const QStringList filters = NameFilters(Filter);
    dialog.setNameFilters(filters);
    if (FilterIndex >= 1 && FilterIndex <= filters.size())
        dialog.selectNameFilter(filters[FilterIndex - 1]);
    // Only a saved name gets the extension: an open dialog looks for the file as typed.
    if (!open) {
        QString suffix = DefaultExt;
        if (suffix.startsWith(u'.'))
            suffix.remove(0, 1);
        dialog.setDefaultSuffix(suffix);
    }
    if (!InitDir.isEmpty())
        dialog.setDirectory(InitDir);
    // A preset name that holds a folder opens the dialog there.
    if (!FileName.isEmpty())
        dialog.selectFile(FileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

}  // namespace quorvel::ui
