// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// What the status line says after a conversion, worded as the window words
// it (ui/status_text.cpp): the whole sentence, then the details the
// window keeps in the line's tooltip.
'use strict';

const maxSkippedListed = 10;

function count(number, one, many) {
    return number + ' ' + (number === 1 ? one : many);
}

function summaryText(report, savedTrackpoints, sceneName) {
    const frames = count(Math.max(0, report.frames), 'frame', 'frames');
    const warnings = report.warnings.length > 0 ? ', ' + count(report.warnings.length, 'warning', 'warnings') : '';
    if (!savedTrackpoints)
        return 'Converted ' + frames + ' to ' + sceneName + ', camera only' + warnings;
    const skipped = report.skippedCount > 0 ? ', ' + count(report.skippedCount, 'line', 'lines') + ' skipped' : '';
    return 'Converted ' + frames + ' and ' + count(report.trackers, 'tracker', 'trackers') + ' to ' + sceneName +
        skipped + warnings;
}

function summaryDetails(report, savedTrackpoints) {
    const lines = report.warnings.map((warning) => 'Warning: ' + warning);
    if (!savedTrackpoints || report.skippedCount === 0)
        return lines;
    lines.push('Tracker lines skipped:');
    const listed = report.skipped.slice(0, maxSkippedListed);
    for (const skipped of listed)
        lines.push('line ' + skipped.line + ': ' + skipped.reason);
    if (report.skippedCount > listed.length)
        lines.push('and ' + (report.skippedCount - listed.length) + ' more');
    return lines;
}
