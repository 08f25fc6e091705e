// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// What the page says after a conversion, worded as the window words it
// (ui/status_text.cpp, ui/error_text.cpp): the status line's one wording
// per outcome on up to two lines, then the details that the window keeps
// in the line's tooltip; an error's sentence begins with a capital.
'use strict';

const maxSkippedListed = 10;

function count(number, one, many) {
    return number + ' ' + (number === 1 ? one : many);
}

// What was converted, then what needs a look (or nothing): two lines.
function summaryLines(report, savedTrackpoints) {
    const frames = count(Math.max(0, report.frames), 'frame', 'frames');
    const converted = savedTrackpoints
        ? 'Converted ' + frames + ' and ' + count(report.trackers, 'tracker', 'trackers')
        : 'Converted ' + frames + ', camera only';
    const attention = [];
    // Without trackpoints nothing was skipped, whatever the report holds.
    if (savedTrackpoints && report.skippedCount > 0)
        attention.push(count(report.skippedCount, 'line skipped', 'lines skipped'));
    if (report.warnings.length > 0)
        attention.push(count(report.warnings.length, 'warning', 'warnings'));
    return attention.length > 0 ? [converted, attention.join(', ')] : [converted];
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

// The engine's message as a sentence: after a leading file name and its
// colon, or from the start, a capital.
function errorSentence(message, paths) {
    let start = 0;
    for (const path of paths) {
        if (path && message.startsWith(path)) {
            const colon = message.indexOf(': ', path.length);
            if (colon >= 0)
                start = colon + 2;
            break;
        }
    }
    return message.slice(0, start) + message.charAt(start).toUpperCase() + message.slice(start + 1);
}
