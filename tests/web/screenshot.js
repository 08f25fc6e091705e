// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// node screenshot.js ENGINE PAGE EXPORT MODULES FOLDER: pictures of the page
// in one browser engine (see browsers.js) after converting EXPORT (one
// with a warning shows the most), to look at. In chromium at 100% and 200%
// zoom and 400 pixels wide, as FOLDER/page-100.png, page-200.png and
// page-400px.png (docs/screenshot-web.png is the first); in firefox and
// webkit at 100%, as FOLDER/page-ENGINE.png (docs/screenshot-web-ENGINE.png).
'use strict';
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { launch, pageHelpers, conversionEnded } = require('./browsers.js');

const [engine, page, exportPath, modules, folder] = process.argv.slice(2);

async function main() {
    const work = fs.mkdtempSync(path.join(os.tmpdir(), 'quorvel-shot-'));
    const browser = await launch(engine, modules, work);
    const shots = engine === 'chromium'
        ? [['page-100', 640, 1], ['page-200', 640, 2], ['page-400px', 400, 1]] : [['page-' + engine, 640, 1]];
    try {
        for (const [name, width, zoom] of shots) {
            const tab = await browser.newTab();
            // 200% zoom: the page laid out in half the width, drawn twice as large.
            if (tab.page)
                await tab.page.setViewport({ width: width / zoom, height: 300, deviceScaleFactor: zoom });
            await tab.goto('file://' + path.resolve(page));
            await tab.evaluate(pageHelpers);
            await tab.upload('#input-picker', exportPath);
            await tab.evaluate(() => { window.nextSceneName = 'shot.syncar'; });
            await tab.click('#open-output');
            await tab.click('#convert');
            await conversionEnded(tab);
            const file = path.join(folder, name + '.png');
            if (tab.page)
                await tab.page.screenshot({ path: file, fullPage: true });
            else
                await tab.screenshot(file, width, 470);
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
