// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// node web_bench.js ENGINE PAGE EXPORT MODULES RUNS: converts EXPORT RUNS
// times with the page in one browser engine (chromium, firefox or webkit:
// see tests/web/browsers.js) after one warm-up, and prints the median
// milliseconds of the conversion (the export read, converted in the
// worker, the scene handed back) and of the whole, from Convert pressed
// to the scene saved, as "worker MS total MS".
'use strict';
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { launch, pageHelpers, conversionEnded } = require('../tests/web/browsers.js');

const [engine, page, exportPath, modules, runs] = process.argv.slice(2);

function median(values) {
    const sorted = [...values].sort((a, b) => a - b);
    return sorted[Math.floor(sorted.length / 2)];
}

async function main() {
    const work = fs.mkdtempSync(path.join(os.tmpdir(), 'quorvel-bench-'));
    const browser = await launch(engine, modules, work);
    try {
        const tab = await browser.newTab();
        await tab.goto('file://' + path.resolve(page));
        await tab.evaluate(pageHelpers);
        await tab.evaluate(() => { window.discardSaved = true; });
        const workerTimes = [];
        const totalTimes = [];
        for (let run = 0; run <= Number(runs); ++run) {
            await tab.upload('#input-picker', exportPath);
            await tab.click('#open-output');
            await tab.waitFor(() => !document.getElementById('convert').disabled);
            const started = Date.now();
            await tab.click('#convert');
            await conversionEnded(tab, 300000);
            const total = Date.now() - started;
            const worker = Number(await tab.evaluate(() => document.body.dataset.lastConversionMs));
            if (run > 0) {
                workerTimes.push(worker);
                totalTimes.push(total);
            }
        }
        console.log(`worker ${median(workerTimes)} total ${median(totalTimes)}`);
    } finally {
        await browser.close();
        fs.rmSync(work, { recursive: true, force: true });
    }
}

main().catch((error) => {
    console.error(error);
    process.exitCode = 1;
});
