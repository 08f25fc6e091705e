// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// node screenshot.js PAGE EXPORT MODULES FOLDER: pictures of the page after
// converting EXPORT (one with a warning shows the most), at 100% and 200%
// zoom and 400 pixels wide, as FOLDER/page-100.png, page-200.png and
// page-400px.png, to look at; docs/screenshot-web.png is the first.
'use strict';
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { launchChromium, standInSavePicker, conversionEnded } = require('./chromium.js');

const [page, exportPath, modules, folder] = process.argv.slice(2);

async function main() {
    const work = fs.mkdtempSync(path.join(os.tmpdir(), 'quorvel-shot-'));
    const browser = await launchChromium(modules, path.join(work, 'profile'));
    try {
        for (const [name, width, zoom] of [['page-100', 640, 1], ['page-200', 640, 2], ['page-400px', 400, 1]]) {
            const tab = await browser.newPage();
            await tab.setViewport({ width, height: 300, deviceScaleFactor: zoom });
            await tab.evaluateOnNewDocument(standInSavePicker);
            await tab.goto('file://' + path.resolve(page));
            // 200% zoom: the page laid out in half the width, drawn twice as large.
            if (zoom === 2)
                await tab.setViewport({ width: width / 2, height: 300, deviceScaleFactor: 2 });
            await (await tab.$('#input-picker')).uploadFile(exportPath);
            await tab.evaluate(() => { window.nextSceneName = 'shot.syncar'; });
            await tab.click('#open-output');
            await tab.click('#convert');
            await conversionEnded(tab);
            await tab.screenshot({ path: path.join(folder, name + '.png'), fullPage: true });
            await tab.close();
        }
    } finally {
        await browser.close();
        fs.rmSync(work, { recursive: true, force: true });
    }
}

main().catch((error) => {
    console.error(error);
    process.exitCode = 1;
});
