// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// node browser-test.js PAGE CASES MODULES [BIG_EXPORT BIG_EXPECTED]
// Drives the page PAGE (build/web/quorvel.html) in Debian's headless
// chromium through puppeteer-core (from MODULES, installed by npm ci from
// package-lock.json), opened from file:// and from a server on 127.0.0.1:
// every golden case under CASES through the page's own controls, the scene
// saved through the save picker (and once as a download, as in browsers
// without one) compared byte for byte; failures show the engine's message
// and save nothing; Convert's enabling rule. Given BIG_EXPORT, a large
// export converts while the page keeps answering, its scene compared with
// BIG_EXPECTED by SHA-256. Every request the page makes is recorded: only
// the page itself may be fetched.
'use strict';
const assert = require('node:assert/strict');
const crypto = require('node:crypto');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');

const [pagePath, casesDir, modules, bigExport, bigExpected] = process.argv.slice(2);
const { launchChromium, standInSavePicker, conversionEnded } = require('./chromium.js');

const failures = [];
function check(condition, what) {
    if (!condition)
        failures.push(what);
}

function caseArgs(dir) {
    const file = path.join(dir, 'args');
    if (!fs.existsSync(file))
        return { saveTrackpoints: true, factor: '1' };
    const args = fs.readFileSync(file, 'utf8').split('\n');
    const options = { saveTrackpoints: true, factor: '1' };
    for (let i = 0; i < args.length; ++i) {
        if (args[i] === '-n' || args[i] === '--no-trackers')
            options.saveTrackpoints = false;
        else if (args[i] === '-f' || args[i] === '--factor')
            options.factor = args[++i];
    }
    return options;
}

// Fragments of the command line's standard error that the page shows too,
// worded as the window words them: its factor messages name the factor its
// own way, and its list of skipped tracker lines is headed once.
function expectedFragments(dir) {
    const file = path.join(dir, 'expected-stderr');
    if (!fs.existsSync(file))
        return [];
    return fs.readFileSync(file, 'utf8').split('\n').filter(Boolean)
        .map((line) => line.replace(/^quorvel-convert: --factor/, '').replace(/^(line \d+): tracker line skipped: /, '$1: '));
}

async function pageState(page) {
    return page.evaluate(() => ({
        status: document.getElementById('status').innerText,
        details: Array.from(document.querySelectorAll('#details li'), (item) => item.textContent).join('\n'),
        error: document.getElementById('error-box').open ? document.getElementById('error-message').textContent : null,
        convertEnabled: !document.getElementById('convert').disabled,
        busy: document.body.getAttribute('aria-busy') === 'true',
        savedBase64: window.savedBase64 || null,
        savedSha256: window.savedSha256 || null,
        savedCount: window.savedCount || 0,
        focused: document.activeElement && document.activeElement.id,
    }));
}

// One conversion through the controls: export, scene file, option, factor,
// Convert (pressed with Enter where asked), until the status line settles.
async function convertOnce(page, exportPath, options, sceneName, useEnter = false) {
    await page.evaluate((name) => {
        window.nextSceneName = name;
        window.savedBase64 = null;
        window.savedSha256 = null;
    }, sceneName);
    const picker = await page.$('#input-picker');
    await picker.uploadFile(exportPath);
    await page.click('#open-output');
    await page.waitForFunction(() => !document.getElementById('convert').disabled);
    const checked = await page.$eval('#save-trackpoints', (box) => box.checked);
    if (checked !== options.saveTrackpoints)
        await page.click('#save-trackpoints');
    await page.$eval('#factor', (box, text) => { box.value = text; }, options.factor);
    if (useEnter) {
        await page.focus('#factor');
        await page.keyboard.press('Enter');
    } else {
        await page.click('#convert');
    }
    await conversionEnded(page);
    return pageState(page);
}

async function closeErrorBox(page) {
    await page.keyboard.press('Enter');
    await page.waitForFunction(() => !document.getElementById('error-box').open);
}

async function goldenCases(page, where) {
    const names = fs.readdirSync(casesDir).sort();
    for (const [index, name] of names.entries()) {
        const dir = path.join(casesDir, name);
        const options = caseArgs(dir);
        const state = await convertOnce(page, path.join(dir, 'input.ma'), options, name + '.syncar', index % 5 === 0);
        const label = `${where}: ${name}`;
        const shown = [state.status, state.details, state.error || ''].join('\n');
        for (const fragment of expectedFragments(dir))
            // The page, as the window, begins each sentence with a capital.
            check(shown.toLowerCase().includes(fragment.toLowerCase()),
                `${label}: the page does not show '${fragment}' (it shows '${shown}')`);
        if (fs.existsSync(path.join(dir, 'expected.syncar'))) {
            const expected = fs.readFileSync(path.join(dir, 'expected.syncar'));
            check(state.savedBase64 !== null && Buffer.from(state.savedBase64, 'base64').equals(expected),
                `${label}: the saved scene differs from expected.syncar (${state.status} ${state.error})`);
            check(/^Converted \d+ frames?( and \d+ trackers?|, camera only)/.test(state.status),
                `${label}: status line '${state.status}'`);
            check(!state.convertEnabled, `${label}: Convert still enabled after a conversion`);
            check(state.focused === 'open-output', `${label}: focus on ${state.focused}, not Open Output File`);
        } else {
            check(state.status === 'Conversion failed', `${label}: status line '${state.status}'`);
            check(state.error !== null && state.error.length > 0, `${label}: no error box`);
            check(state.savedBase64 === null, `${label}: a failed conversion saved a scene`);
            check(state.convertEnabled, `${label}: Convert disabled after a failed conversion`);
            if (state.error !== null)
                await closeErrorBox(page);
            // The next export clears the failure.
            await (await page.$('#input-picker')).uploadFile(path.join(dir, 'input.ma'));
            const cleared = await page.waitForFunction(() => document.getElementById('status').innerText === '',
                { timeout: 5000 }).then(() => true, () => false);
            check(cleared, `${label}: the failure still shows after a new export`);
        }
    }
    return names.length;
}

// Convert starts disabled; choosing a scene file enables it; a conversion
// disables it; a cancelled save picker changes nothing.
async function enablingRule(page, where) {
    check(!(await pageState(page)).convertEnabled, `${where}: Convert enabled before a scene file was chosen`);
    await page.evaluate(() => {
        window.realPicker = window.showSaveFilePicker;
        window.showSaveFilePicker = async () => { throw new DOMException('cancelled', 'AbortError'); };
    });
    await page.click('#open-output');
    check(!(await pageState(page)).convertEnabled, `${where}: a cancelled save picker enabled Convert`);
    await page.evaluate(() => { window.showSaveFilePicker = window.realPicker; });
}

// Tab goes through the controls in the window's order, the path boxes left
// out; with a scene file chosen, Convert is the last stop.
async function tabOrder(page, where) {
    await page.click('#open-output');
    await page.waitForFunction(() => !document.getElementById('convert').disabled);
    await page.focus('#open-input');
    const order = [await page.evaluate(() => document.activeElement.id)];
    for (let i = 0; i < 4; ++i) {
        await page.keyboard.press('Tab');
        order.push(await page.evaluate(() => document.activeElement.id));
    }
    const expected = ['open-input', 'open-output', 'save-trackpoints', 'factor', 'convert'];
    check(order.join() === expected.join(), `${where}: Tab order ${order.join(', ')}`);
}

// Browsers without a save picker: the scene is downloaded under the name given.
async function downloadPath(browser, url, where, work) {
    const page = await browser.newPage();
    await page.evaluateOnNewDocument(() => { delete window.showSaveFilePicker; });
    const folder = fs.mkdtempSync(path.join(work, 'download-'));
    const session = await page.createCDPSession();
    await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: folder });
    page.on('dialog', (dialog) => dialog.accept('downloaded'));
    await page.goto(url);
    const dir = path.join(casesDir, 'shot_0010_sample_factor_2_54');
    const state = await convertOnce(page, path.join(dir, 'input.ma'), caseArgs(dir), 'unused');
    const saved = path.join(folder, 'downloaded.syncar');
    for (let i = 0; i < 100 && !fs.existsSync(saved); ++i)
        await new Promise((done) => setTimeout(done, 100));
    check(fs.existsSync(saved) && fs.readFileSync(saved).equals(fs.readFileSync(path.join(dir, 'expected.syncar'))),
        `${where}: the downloaded scene differs from expected.syncar (${state.status})`);
    await page.close();
}

// A large export: the page must answer while the worker converts.
async function largeExport(page, where) {
    const started = Date.now();
    const picker = await page.$('#input-picker');
    await picker.uploadFile(bigExport);
    await page.evaluate(() => { window.nextSceneName = 'big.syncar'; window.savedSha256 = null; });
    await page.click('#open-output');
    await page.waitForFunction(() => !document.getElementById('convert').disabled);
    await page.$eval('#factor', (box) => { box.value = '1'; });
    // The longest the page's own thread is kept from a 20 ms timer.
    await page.evaluate(() => {
        window.longestGap = 0;
        let last = performance.now();
        window.gapTimer = setInterval(() => {
            const now = performance.now();
            window.longestGap = Math.max(window.longestGap, now - last);
            last = now;
        }, 20);
    });
    await page.click('#convert');
    let slowest = 0;
    let answers = 0;
    for (;;) {
        const asked = Date.now();
        const busy = await page.evaluate(() => document.body.getAttribute('aria-busy') === 'true');
        slowest = Math.max(slowest, Date.now() - asked);
        if (!busy)
            break;
        ++answers;
        await new Promise((done) => setTimeout(done, 50));
    }
    const state = await pageState(page);
    const { longestGap, workerMs } = await page.evaluate(() => {
        clearInterval(window.gapTimer);
        return { longestGap: window.longestGap, workerMs: document.body.dataset.lastConversionMs };
    });
    const expected = crypto.createHash('sha256').update(fs.readFileSync(bigExpected)).digest('hex');
    check(state.savedSha256 === expected, `${where}: the large export's scene differs (${state.status} ${state.error})`);
    check(answers > 0 && longestGap < 1500, `${where}: the page's thread was held for ${longestGap} ms while converting`);
    console.log(`${where}: ${path.basename(bigExport)} converted in ${workerMs} ms in the worker, ` +
        `${Date.now() - started} ms from choosing it to the scene saved; meanwhile the page answered ${answers} ` +
        `requests (the slowest in ${slowest} ms) and its thread was held for ${Math.round(longestGap)} ms at most`);
}

async function run(browser, url, where, work) {
    const page = await browser.newPage();
    const requests = [];
    let pageLoads = 0;
    page.on('request', (request) => {
        if (request.url() === url)
            ++pageLoads;
        else if (!['file:', 'blob:', 'data:'].includes(new URL(request.url()).protocol))
            requests.push(request.url());
    });
    await page.evaluateOnNewDocument(standInSavePicker);
    const loadStarted = Date.now();
    await page.goto(url, { waitUntil: 'load' });
    console.log(`${where}: page loaded in ${Date.now() - loadStarted} ms`);
    await enablingRule(page, where);
    await tabOrder(page, where);
    const cases = await goldenCases(page, where);
    console.log(`${where}: ${cases} golden cases converted`);
    if (bigExport)
        await largeExport(page, where);
    await downloadPath(browser, url, where, work);
    // The recorder sees requests: the page's own load is one.
    check(pageLoads === 1, `${where}: the page's own load was recorded ${pageLoads} times`);
    check(requests.length === 0, `${where}: the page made requests: ${requests.join(', ')}`);
    await page.close();
}

async function main() {
    const work = fs.mkdtempSync(path.join(os.tmpdir(), 'quorvel-browser-'));
    const page = fs.readFileSync(pagePath);
    const server = http.createServer((request, response) => {
        response.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' });
        response.end(page);
    });
    await new Promise((done) => server.listen(0, '127.0.0.1', done));
    const browser = await launchChromium(modules, path.join(work, 'profile'));
    try {
        await run(browser, 'file://' + path.resolve(pagePath), 'file://', work);
        await run(browser, `http://127.0.0.1:${server.address().port}/quorvel.html`, 'http://127.0.0.1', work);
    } finally {
        await browser.close();
        server.close();
        fs.rmSync(work, { recursive: true, force: true });
    }
    for (const failure of failures.slice(0, 30))
        console.error('FAILED: ' + failure);
    console.log(`${failures.length} failures`);
    process.exitCode = failures.length === 0 ? 0 : 1;
}

main().catch((error) => {
    console.error(error);
    process.exitCode = 1;
});
