// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// node browser-test.js ENGINE PAGE CASES MODULES [BIG_EXPORT BIG_EXPECTED]
// Drives the page PAGE (build/web/quorvel.html) in one browser engine
// (chromium, firefox or webkit: see browsers.js; drivers from MODULES,
// installed by npm ci from package-lock.json), opened from file:// and
// from a server on 127.0.0.1: every golden case under CASES through the
// page's own controls, the scene saved into a folder given to the page
// (and once as a download, as in browsers without a folder picker)
// compared byte for byte; failures show the engine's message and save
// nothing; choosing and replacing a file in the folder, whatever goes
// wrong (sceneFileInFolder); Convert's enabling rule
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

// The scene file 'kept.syncar' in the folder chosen, row by row: what is
// there first (old; undefined: nothing), the name typed (kept.syncar
// unless given), whether replacing is confirmed, what goes wrong (a factor
// that fails, an export gone before Convert, a failing worker, a failing
// write, the permission taken back, the file changed after N reads), and
// then: chosen or not, the error box (null: none), the file after (old,
// the scene, or none), and what the page asked. The export converts (the
// case's factor), so
// only the row's fault may fail it; a refused choice keeps the one before.
async function sceneFileInFolder(tab, where, work) {
    const gone = path.join(work, 'gone.ma');
    const dir = path.join(casesDir, 'shot_0010_sample_factor_2_54');
    const expected = fs.readFileSync(path.join(dir, 'expected.syncar')).toString('base64');
    const oldScene = 'SynthEyesScene {\r\n}\r\n';
    const log = 'frame,x,y\r\n1001,0.5,0.5\r\n';
    const notAScene = /^'kept\.syncar' is not a scene file: only a scene file \(its first line "SynthEyesScene \{"\) or an empty file is replaced$/;
    const badName = (name) => new RegExp(`^'${name.replace(/[.\\]/g, '\\$&')}' cannot be the scene file's name: it must be a file's name in the folder chosen, without / or \\\\ or control characters, and not \\. or \\.\\.$`);
    const named = "Name of the scene file in the folder renders: [gone.syncar]";
    const replace = "'kept.syncar' already exists in the folder renders.\nDo you want to replace it?";
    const rows = [
        { what: 'a new scene, its extension added', name: 'kept', after: 'scene', asked: [named] },
        { what: 'an export gone before Convert', gone: true, shows: /gone\.ma/, after: 'none' },
        { what: 'a failing worker', worker: true, shows: /no memory/, after: 'none' },
        { what: 'a failing conversion, no file before', factor: 'x', shows: /factor/i, after: 'none' },
        { what: 'a failing conversion over an old scene', old: oldScene, factor: 'x', shows: /factor/i, after: 'old', asked: [named, replace] },
        { what: 'a failing write, no file before', failWrite: true, after: 'none',
            shows: /^Cannot write the scene file 'kept\.syncar' in the folder renders: there is no room left for it\. The scene was not saved\.$/ },
        { what: 'a failing write over an old scene', old: oldScene, failWrite: true, after: 'old', shows: /^Cannot write the scene file 'kept\.syncar'/ },
        { what: 'the permission taken back', old: oldScene, permission: 'denied', after: 'old',
            shows: /^Cannot use the scene file 'kept\.syncar' in the folder renders: the browser does not let this page write into the folder renders$/ },
        { what: 'a file that is no scene file', old: log, chosen: false, shows: notAScene, after: 'old', asked: [named] },
        { what: 'a file that only begins like a scene file', old: 'SynthEyesScene {2}\n', chosen: false, shows: notAScene, after: 'old' },
        { what: 'replacing declined', old: oldScene, confirm: false, chosen: false, shows: null, after: 'old', asked: [named, replace] },
        { what: 'a scene file made no scene file once chosen', old: oldScene, change: { after: 1, text: log }, shows: notAScene, after: log },
        { what: 'a scene file made no scene file during the conversion', old: oldScene, change: { after: 2, text: log }, shows: notAScene, after: log },
        { what: 'a scene file made a folder once chosen', old: oldScene, change: { after: 1, text: null }, after: null,
            shows: /^Cannot use the scene file 'kept\.syncar' in the folder renders: it is a folder$/ },
        { what: 'an empty file replaced', old: '', after: 'scene', asked: [named, replace] },
        { what: 'an old scene replaced', old: oldScene, after: 'scene', asked: [named, replace] },
        ...['', ' ', '.', '..', '../kept', 'a/kept', 'a\\kept', 'ke\tpt'].map((name) =>
            ({ what: `the name '${name}'`, name, chosen: false, after: 'none',
                shows: name.trim() ? badName(name.trim()) : /^No name was given for the scene file\.$/ })),
    ];
    for (const row of rows) {
        const label = `${where}: ${row.what}`;
        fs.copyFileSync(path.join(dir, 'input.ma'), gone);
        await tab.upload('#input-picker', gone);
        if (row.gone)
            fs.rmSync(gone);
        // Passed as JSON, where WebDriver may make undefined null.
        await tab.evaluate((row) => {
            const files = window.sceneFolder.files;
            files.clear();
            if (row.old != null)
                files.set('kept.syncar', new TextEncoder().encode(row.old));
            window.savedBase64 = null;
            window.asked = [];
            window.nextSceneName = row.name == null ? 'kept.syncar' : row.name;
            window.confirmAnswer = row.confirm !== false;
            window.failWrite = row.failWrite;
            window.permission = row.permission;
            window.change = row.change ? { after: row.change.after, reads: 0, bytes: row.change.text === null ? null : new TextEncoder().encode(row.change.text) } : null;
            document.getElementById('factor').value = row.factor;
            if (row.worker) {
                worker.terminate();
                worker = new Worker(URL.createObjectURL(new Blob(['onmessage = () => { throw new Error("no memory"); };'])));
            }
        }, { old: row.old, name: row.name, confirm: row.confirm, failWrite: row.failWrite || false, permission: row.permission,
            change: row.change, factor: row.factor || caseArgs(dir).factor, worker: row.worker || false });
        const before = await tab.evaluate(() => document.getElementById('output-name').value);
        await tab.click('#open-output');
        await tab.waitFor(() => !choosing);
        let state = await pageState(tab);
        const output = await tab.evaluate(() => document.getElementById('output-name').value);
        if (row.chosen === false) {
            check(output === before, `${label}: the output box shows '${output}', not '${before}'`);
        } else {
            check(output === 'renders/kept.syncar' && state.error === null, `${label}: not chosen ('${output}', ${state.error})`);
            await tab.click('#convert');
            await conversionEnded(tab);
            state = await pageState(tab);
            if (row.after === 'scene')
                check(state.status.startsWith('Converted') && !state.convertEnabled, `${label}: status line '${state.status}'`);
            else
                checkFailed(state, label);
        }
        check(row.shows ? row.shows.test(state.error) : state.error === null, `${label}: the error box says '${state.error}'`);
        if (state.error !== null)
            await closeErrorBox(tab);
        // What the folder holds: its names, and kept.syncar's bytes in base64.
        const found = await tab.evaluate(() => {
            const files = window.sceneFolder.files;
            const kept = files.get('kept.syncar');
            return { names: [...files.keys()].join(), kept: kept ? window.base64Of(kept) : String(kept),
                options: window.folderPickerOptions, asked: window.asked };
        });
        const text = row.after === 'old' ? row.old : row.after;
        const kept = { none: 'undefined', scene: expected }[row.after] || (text === null ? 'null' : Buffer.from(text).toString('base64'));
        check(found.kept === kept && found.names === (row.after === 'none' ? '' : 'kept.syncar'),
            `${label}: the folder holds '${found.names}', kept.syncar ${found.kept.slice(0, 40)}…, not ${kept.slice(0, 40)}…`);
        check(found.options.id === 'quorvel-scenes' && found.options.mode === 'readwrite', `${label}: the folder picker was asked ${JSON.stringify(found.options)}`);
        if (row.asked)
            check(found.asked.join('|') === row.asked.join('|'), `${label}: the page asked ${JSON.stringify(found.asked)}`);
    }
}

// Convert starts disabled; choosing a scene file enables it; a conversion
// disables it; a cancelled folder picker changes nothing.
async function enablingRule(tab, where) {
    check(!(await pageState(tab)).convertEnabled, `${where}: Convert enabled before a scene file was chosen`);
    await tab.evaluate(() => {
        window.realPicker = window.showDirectoryPicker;
        window.showDirectoryPicker = async () => { throw new DOMException('cancelled', 'AbortError'); };
    });
    await tab.click('#open-output');
    await tab.waitFor(() => !choosing);
    check(!(await pageState(tab)).convertEnabled, `${where}: a cancelled folder picker enabled Convert`);
    await tab.evaluate(() => { window.showDirectoryPicker = window.realPicker; });
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

// Browsers without a folder picker: the scene is downloaded under the name
// given (Firefox first writes NAME.part).
async function downloadPath(browser, url, where) {
    const tab = await browser.newTab();
    await tab.goto(url);
    await tab.evaluate(() => { delete window.showDirectoryPicker; });
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
    await sceneFileInFolder(tab, where, work);
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
