// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// node browser-test.js ENGINE PAGE CASES MODULES [BIG_EXPORT BIG_EXPECTED]
// Drives the page PAGE (build/web/quorvel.html) in one browser engine
// (chromium, firefox or webkit: see browsers.js; drivers from MODULES,
// installed by npm ci from package-lock.json), opened from file:// and
// from a server on 127.0.0.1: every golden case under CASES through the
// page's own controls, the scene saved through the save picker (and once
// as a download, as in browsers without one) compared byte for byte;
// failures show the engine's message and save nothing, and so do an
// export that cannot be read, a failing worker and a chosen file that is
// no scene file; Convert's enabling rule
// and the keys; no WCAG 2.2 A or AA violation that axe-core finds at start,
// after a conversion with a skipped line and a warning, and with the error
// box open. Given BIG_EXPORT, a large export converts from file:// while
// the page keeps answering, its scene compared with BIG_EXPECTED by
// SHA-256. The page may make no request but for itself, and report no
// error, no warning and no refusal of its security policy.
'use strict';
const assert = require('node:assert/strict');
const crypto = require('node:crypto');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');

const [engine, pagePath, casesDir, modules, bigExport, bigExpected] = process.argv.slice(2);
const { launch, pageHelpers, conversionEnded } = require('./browsers.js');

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

async function pageState(tab) {
    return tab.evaluate(() => ({
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
async function convertOnce(tab, exportPath, options, sceneName, useEnter = false) {
    await tab.evaluate((name) => {
        window.nextSceneName = name;
        window.savedBase64 = null;
        window.savedSha256 = null;
    }, sceneName);
    await tab.upload('#input-picker', exportPath);
    await tab.click('#open-output');
    await tab.waitFor(() => !document.getElementById('convert').disabled);
    if (await tab.evaluate(() => document.getElementById('save-trackpoints').checked) !== options.saveTrackpoints)
        await tab.click('#save-trackpoints');
    await tab.evaluate((text) => {
        document.getElementById('factor').value = text;
        document.getElementById('factor').focus();
    }, options.factor);
    if (useEnter)
        await tab.press('Enter');
    else
        await tab.click('#convert');
    await conversionEnded(tab);
    return pageState(tab);
}

async function closeErrorBox(tab) {
    await tab.press('Enter');
    await tab.waitFor(() => !document.getElementById('error-box').open);
}

async function goldenCases(tab, where) {
    const names = fs.readdirSync(casesDir).sort();
    for (const [index, name] of names.entries()) {
        const dir = path.join(casesDir, name);
        const options = caseArgs(dir);
        const state = await convertOnce(tab, path.join(dir, 'input.ma'), options, name + '.syncar', index % 5 === 0);
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
            checkFailed(state, label);
            if (state.error !== null)
                await closeErrorBox(tab);
            // The next export clears the failure.
            await tab.upload('#input-picker', path.join(dir, 'input.ma'));
            const cleared = await tab.waitFor(() => document.getElementById('status').innerText === '', 5000)
                .then(() => true, () => false);
            check(cleared, `${label}: the failure still shows after a new export`);
        }
    }
    return names.length;
}

function checkFailed(state, label) {
    check(state.status === 'Conversion failed', `${label}: status line '${state.status}'`);
    check(state.error !== null && state.error.length > 0, `${label}: no error box`);
    check(state.savedBase64 === null, `${label}: a failed conversion saved a scene`);
    check(state.convertEnabled && !state.busy, `${label}: Convert disabled or the page busy after a failed conversion`);
}

// An export that cannot be read (here: gone since it was chosen), a worker
// that fails (here: one that throws, in place of the page's) and a chosen
// file that is no scene file end in the error box as any failed
// conversion, nothing saved; the next conversion works, over an old scene.
async function failuresAroundTheEngine(tab, where, work) {
    const gone = path.join(work, 'gone.ma');
    const dir = path.join(casesDir, 'shot_0010_sample_factor_2_54');
    const notAScene = /^'kept\.syncar' is not a scene file: only a scene file \(its first line "SynthEyesScene \{"\) or an empty file is replaced$/;
    const rows = [
        { what: 'an export gone before Convert', shows: /gone\.ma/ },
        { what: 'a failing worker', shows: /no memory/ },
        { what: 'a chosen file that is no scene file', old: 'frame,x,y\r\n1001,0.5,0.5\r\n', shows: notAScene },
        { what: 'a chosen file that only begins like a scene file', old: 'SynthEyesScene {2}\n', shows: notAScene },
    ];
    for (const { what, old, shows } of rows) {
        fs.copyFileSync(path.join(dir, 'input.ma'), gone);
        // A factor that converts: only the row's fault may fail it.
        await tab.evaluate((text) => {
            window.savedBase64 = null;
            window.nextSceneName = 'kept.syncar';
            window.nextSceneText = text;
            document.getElementById('factor').value = '1';
        }, old || '');
        await tab.upload('#input-picker', gone);
        if (what === 'a failing worker') {
            await tab.evaluate(() => {
                worker.terminate();
                worker = new Worker(URL.createObjectURL(new Blob(['onmessage = () => { throw new Error("no memory"); };'])));
            });
        } else if (!old) {
            fs.rmSync(gone);
        }
        await tab.click('#open-output');
        await tab.waitFor(() => !document.getElementById('convert').disabled);
        await tab.click('#convert');
        await conversionEnded(tab);
        const state = await pageState(tab);
        checkFailed(state, `${where}: ${what}`);
        check(shows.test(state.error), `${where}: ${what}: the error box says '${state.error}'`);
        if (state.error !== null)
            await closeErrorBox(tab);
    }
    await tab.evaluate(() => { window.nextSceneText = 'SynthEyesScene {\r\n}\r\n'; });
    const state = await convertOnce(tab, path.join(dir, 'input.ma'), caseArgs(dir), 'after.syncar');
    await tab.evaluate(() => { window.nextSceneText = ''; });
    check(state.savedBase64 !== null && Buffer.from(state.savedBase64, 'base64').equals(fs.readFileSync(path.join(dir, 'expected.syncar'))),
        `${where}: no scene after the failures (${state.status} ${state.error})`);
}

// Convert starts disabled; choosing a scene file enables it; a conversion
// disables it; a cancelled save picker changes nothing.
async function enablingRule(tab, where) {
    check(!(await pageState(tab)).convertEnabled, `${where}: Convert enabled before a scene file was chosen`);
    await tab.evaluate(() => {
        window.realPicker = window.showSaveFilePicker;
        window.showSaveFilePicker = async () => { throw new DOMException('cancelled', 'AbortError'); };
    });
    await tab.click('#open-output');
    check(!(await pageState(tab)).convertEnabled, `${where}: a cancelled save picker enabled Convert`);
    await tab.evaluate(() => { window.showSaveFilePicker = window.realPicker; });
}

// Tab goes through the controls in the window's order, the path boxes left
// out; with a scene file chosen, Convert is the last stop.
async function tabOrder(tab, where) {
    await tab.click('#open-output');
    await tab.waitFor(() => !document.getElementById('convert').disabled);
    await tab.evaluate(() => document.getElementById('open-input').focus());
    const order = [await tab.evaluate(() => document.activeElement.id)];
    for (let i = 0; i < 4; ++i) {
        await tab.press('Tab');
        order.push(await tab.evaluate(() => document.activeElement.id));
    }
    const expected = ['open-input', 'open-output', 'save-trackpoints', 'factor', 'convert'];
    check(order.join() === expected.join(), `${where}: Tab order ${order.join(', ')}`);
}

// axe-core's WCAG 2.2 A and AA rules in the page as it is.
async function accessibility(tab, label) {
    await tab.evaluate(fs.readFileSync(path.join(modules, 'axe-core', 'axe.min.js'), 'utf8') + ';0');
    const found = await tab.evaluate(async () => {
        const tags = ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa', 'wcag22aa'];
        const result = await window.axe.run(document, { runOnly: { type: 'tag', values: tags } });
        return result.violations.map((v) => `${v.id} (${v.nodes.map((node) => node.target.join(' ')).join(', ')})`);
    });
    check(found.length === 0, `${label}: axe-core finds ${found.join('; ')}`);
}

// After a conversion with a skipped tracker line and a warning (the
// example's frame rate made 23.976), then with the error box open.
async function accessibilityAfter(tab, where, work) {
    const sampleExport = path.join(work, 'shot_0020.ma');
    fs.writeFileSync(sampleExport, fs.readFileSync(path.join(casesDir, 'example_shot_0020', 'input.ma'), 'latin1')
        .replace('-fps 24', '-fps 23.976'), 'latin1');
    const state = await convertOnce(tab, sampleExport, { saveTrackpoints: true, factor: '1' }, 'sample.syncar');
    check(/skipped/.test(state.status) && /warning/.test(state.status),
        `${where}: the sample shows no skipped line and warning: '${state.status}'`);
    await accessibility(tab, `${where}, after a conversion with a skipped line and a warning`);
    const failed = await convertOnce(tab, sampleExport, { saveTrackpoints: true, factor: 'x' }, 'failed.syncar');
    check(failed.error !== null, `${where}: the factor 'x' opened no error box`);
    await accessibility(tab, `${where}, with the error box open`);
    if (failed.error !== null)
        await closeErrorBox(tab);
}

// Browsers without a save picker: the scene is downloaded under the name
// given (Firefox first writes NAME.part).
async function downloadPath(browser, url, where) {
    const tab = await browser.newTab();
    await tab.goto(url);
    await tab.evaluate(() => { delete window.showSaveFilePicker; });
    tab.promptAnswer = 'downloaded';
    const dir = path.join(casesDir, 'shot_0010_sample_factor_2_54');
    const state = await convertOnce(tab, path.join(dir, 'input.ma'), caseArgs(dir), 'unused');
    const saved = path.join(browser.downloads, 'downloaded.syncar');
    const done = () => fs.existsSync(saved) && !fs.existsSync(saved + '.part');
    for (let i = 0; i < 100 && !done(); ++i)
        await new Promise((resolve) => setTimeout(resolve, 100));
    check(done() && fs.readFileSync(saved).equals(fs.readFileSync(path.join(dir, 'expected.syncar'))),
        `${where}: the downloaded scene differs from expected.syncar (${state.status})`);
    if (fs.existsSync(saved))
        fs.rmSync(saved);
    await tab.close();
}

// A large export: the page must answer while the worker converts.
async function largeExport(tab, where) {
    const started = Date.now();
    await tab.upload('#input-picker', bigExport);
    await tab.evaluate(() => { window.nextSceneName = 'big.syncar'; window.savedSha256 = null; });
    await tab.click('#open-output');
    await tab.waitFor(() => !document.getElementById('convert').disabled);
    // The longest the page's own thread is kept from a 20 ms timer.
    await tab.evaluate(() => {
        document.getElementById('factor').value = '1';
        window.longestGap = 0;
        let last = performance.now();
        window.gapTimer = setInterval(() => {
            const now = performance.now();
            window.longestGap = Math.max(window.longestGap, now - last);
            last = now;
        }, 20);
    });
    await tab.click('#convert');
    let slowest = 0;
    let answers = 0;
    for (;;) {
        const asked = Date.now();
        const busy = await tab.evaluate(() => document.body.getAttribute('aria-busy') === 'true');
        slowest = Math.max(slowest, Date.now() - asked);
        if (!busy)
            break;
        ++answers;
        await new Promise((done) => setTimeout(done, 50));
    }
    const state = await pageState(tab);
    const { longestGap, workerMs } = await tab.evaluate(() => {
        clearInterval(window.gapTimer);
        return { longestGap: window.longestGap, workerMs: document.body.dataset.lastConversionMs };
    });
    const expected = crypto.createHash('sha256').update(fs.readFileSync(bigExpected)).digest('hex');
    check(state.savedSha256 === expected, `${where}: the large export's scene differs (${state.status} ${state.error})`);
    check(answers > 0 && longestGap < 1500, `${where}: the page's thread was held for ${longestGap} ms while converting`);
    console.log(`${where}: ${path.basename(bigExport)} read and converted in ${workerMs} ms, ` +
        `${Date.now() - started} ms from choosing it to the scene saved; meanwhile the page answered ${answers} ` +
        `requests (the slowest in ${slowest} ms) and its thread was held for ${Math.round(longestGap)} ms at most`);
}

async function run(browser, url, where, work, server) {
    const tab = await browser.newTab();
    const loadStarted = Date.now();
    await tab.goto(url);
    console.log(`${where}: page loaded in ${Date.now() - loadStarted} ms`);
    await tab.evaluate(pageHelpers);
    await accessibility(tab, `${where}, at start`);
    await enablingRule(tab, where);
    await tabOrder(tab, where);
    const cases = await goldenCases(tab, where);
    console.log(`${where}: ${cases} golden cases converted`);
    await accessibilityAfter(tab, where, work);
    await failuresAroundTheEngine(tab, where, work);
    if (bigExport && url.startsWith('file:'))
        await largeExport(tab, where);
    const problems = [...tab.problems, ...await tab.evaluate(() => window.problems)];
    check(problems.length === 0, `${where}: the page reported ${problems.join('; ').slice(0, 2000)}`);
    check(tab.requests.length === 0, `${where}: the page made requests: ${tab.requests.join(', ')}`);
    await tab.close();
    await downloadPath(browser, url, where);
    check(server.asked.length === 0, `${where}: the page asked the server for ${server.asked.join(', ')}`);
}

async function main() {
    const work = fs.mkdtempSync(path.join(os.tmpdir(), `quorvel-${engine}-`));
    const page = fs.readFileSync(pagePath);
    // The page is all the server has: whatever else is asked for is kept.
    const server = http.createServer((request, response) => {
        if (request.url !== '/quorvel.html') {
            server.asked.push(request.url);
            response.writeHead(404);
            response.end();
            return;
        }
        response.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' });
        response.end(page);
    });
    server.asked = [];
    await new Promise((done) => server.listen(0, '127.0.0.1', done));
    const browser = await launch(engine, modules, work);
    console.log(`${engine}: ${browser.version}`);
    try {
        await run(browser, 'file://' + path.resolve(pagePath), `${engine} file://`, work, server);
        await run(browser, `http://127.0.0.1:${server.address().port}/quorvel.html`, `${engine} http://127.0.0.1`, work, server);
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
