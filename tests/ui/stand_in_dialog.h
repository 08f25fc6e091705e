// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Stand-ins for the dialogs a person answers: the file dialog answers from
// a script and remembers how it was shown; the error box only records.
#pragma once

#include "common_dialog.h"

#include <QGuiApplication>
#include <QString>
#include <QStringList>

#include <deque>
#include <optional>
#include <vector>

class StandInDialog : public quorvel::ui::CommonDialog {
public:
    // What the dialog held when it was shown.
    struct Shown {
        Kind DialogKind;
        QString FileName;
        QString Filter;
        int FilterIndex;
        QString DefaultExt;
        QString InitDir;
    };

    // The next answers, in order: a path, or Cancel.
    static inline const QString Cancel;  // the null text
    std::deque<QString> Answers;
    std::vector<Shown> Log;

protected:
    std::optional<QString> Run(Kind DialogKind, QWidget*) override
    {
        Log.push_back({DialogKind, FileName, Filter, FilterIndex, DefaultExt, InitDir});
        if (Answers.empty())
            return std::nullopt;
        const QString answer = Answers.front();
        Answers.pop_front();
        if (answer.isNull())
            return std::nullopt;
        return answer;
    }
};

struct ShownError {
    QString Message;
    QStringList Paths;
    bool WindowVisible;
    bool BusyCursor;  // an override cursor was still set
};
