// Rows as a long recording gives them, for the log benchmarks: values drift
// as a live mains reading does, the time moves on each row.
#pragma once

#include "log/LogStore.h"

#include <QString>

namespace varnetta::log::bench {

inline TLogRow SampleLogRow(qsizetype i)
{
    TLogRow r;
    r.ANo = qint32(i + 1);
    const int s = int(i % 86400);
    r.setText(fATime, QString::asprintf("%02d:%02d:%02d(2024-03-01)", s / 3600, s / 60 % 60, s % 60).toLatin1());
    r.setText(fAFunction, "PWRP");
    r.setText(fAValue, QString::asprintf("%d,%03d", int(i % 2000), int(i % 997)).toLatin1());
    r.setText(fAUnit, "kW");
    r.setText(fASubValue1, QString::asprintf("23%d,%d", int(i % 10), int(i % 7)).toLatin1());
    r.setText(fASubUnit1, "V");
    r.setText(fASubValue2, QString::asprintf("%d,%02d", int(i % 16), int(i % 100)).toLatin1());
    r.setText(fASubUnit2, "A");
    r.rowState = kRowStateInserted;
    return r;
}

// Appends `rows` sample rows, each in the change log, as recording does.
inline void FillSampleLog(TLogStore& store, qsizetype rows)
{
    for (qsizetype i = 0; i < rows; ++i) {
        store.appendRow(SampleLogRow(i));
        store.appendChange({qint32(i + 1), 0, kRowStateInserted});
    }
}

} // namespace varnetta::log::bench
