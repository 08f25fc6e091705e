// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// What the browser tests, the screenshots and the browser benchmark share:
// the three engines from Debian's packages, each with a fresh profile,
// nothing of its own on the network and one folder for downloads, behind
// one small interface (a tab: go to, evaluate, wait for, upload, click,
// press, screenshot). Chromium and Firefox ESR are driven by puppeteer-core
// (Firefox over WebDriver BiDi); WebKitGTK's MiniBrowser by its
// WebKitWebDriver through selenium-webdriver, under an Xvfb of its own.
'use strict';
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const path = require('node:path');

const engines = ['chromium', 'firefox', 'webkit'];
const sleep = (ms) => new Promise((done) => setTimeout(done, ms));

// A tab of chromium or firefox. Console errors and warnings, uncaught
// errors (Firefox reports its security policy's refusals so) and requests
// that are not of the page itself (file:, blob:, data:) are kept.
class PuppeteerTab {
    constructor(page, engine) {
        this.page = page;
        this.problems = [];
        this.requests = [];
        this.promptAnswer = null;
        page.on('console', (message) => {
            if (['error', 'warn', 'warning'].includes(message.type()))
                this.problems.push(`console ${message.type()}: ${message.text()}`);
        });
        page.on('pageerror', (error) => this.problems.push(`error: ${error.message || error}`));
        // Chromium tells of its policy's refusals in a worker in the
        // worker's own log.
        page.on('workercreated', (worker) => {
            if (engine !== 'chromium')
                return;
            worker.client.on('Log.entryAdded', ({ entry }) => {
                if (['error', 'warning'].includes(entry.level))
                    this.problems.push(`worker ${entry.level}: ${entry.text}`);
            });
            worker.client.send('Log.enable').catch(() => {});
        });
        page.on('request', (request) => {
            if (request.url() !== this.url && !['file:', 'blob:', 'data:'].includes(new URL(request.url()).protocol))
                this.requests.push(request.url());
        });
        page.on('dialog', (dialog) => (this.promptAnswer === null ? dialog.dismiss() : dialog.accept(this.promptAnswer)));
    }
    goto(url) {
        this.url = url;
        return this.page.goto(url, { waitUntil: 'load' });
    }
    evaluate(fn, ...args) { return this.page.evaluate(fn, ...args); }
    waitFor(fn, timeout = 120000) { return this.page.waitForFunction(fn, { timeout, polling: 50 }); }
    async upload(selector, file) { await (await this.page.$(selector)).uploadFile(file); }
    click(selector) { return this.page.click(selector); }
    press(key) { return this.page.keyboard.press(key); }
    async screenshot(file, width, height) {
        await this.page.setViewport({ width, height });
        await this.page.screenshot({ path: file, fullPage: true });
    }
    close() { return this.page.close(); }
}

// MiniBrowser's one window. WebDriver sees neither the console nor the
// requests: the tests' own recorder in the page and the test server do.
class WebDriverTab {
    constructor(driver, webdriver) {
        this.driver = driver;
        this.webdriver = webdriver;
        this.problems = [];
        this.requests = [];
        this.promptAnswer = null;
    }
    goto(url) { return this.driver.get(url); }
    // A function, or a script's text.
    evaluate(fn, ...args) {
        return this.driver.executeScript(typeof fn === 'string' ? fn : `return (${fn}).apply(null, arguments)`, ...args);
    }
    async waitFor(fn, timeout = 120000) {
        const until = Date.now() + timeout;
        while (!(await this.evaluate(fn))) {
            if (Date.now() > until)
                throw new Error(`waited ${timeout} ms for ${fn}`);
            await sleep(50);
        }
    }
    async upload(selector, file) { await this.driver.findElement({ css: selector }).sendKeys(file); }
    async click(selector) {
        await this.driver.findElement({ css: selector }).click();
        if (this.promptAnswer === null)
            return;
        // A prompt opens within the click, if at all.
        let prompt;
        try {
            prompt = await this.driver.switchTo().alert();
        } catch (error) {
            if (error instanceof this.webdriver.error.NoSuchAlertError)
                return;
            throw error;
        }
        await prompt.sendKeys(this.promptAnswer);
        await prompt.accept();
    }
    press(key) {
        return this.driver.actions().sendKeys(this.webdriver.Key[key.toUpperCase()]).perform();
    }
    async screenshot(file, width, height) {
        await this.driver.manage().window().setRect({ width, height });
        // Drawn at the new size before the picture is taken.
        await sleep(1000);
        fs.writeFileSync(file, Buffer.from(await this.driver.takeScreenshot(), 'base64'));
    }
    // The window stays for the next tab.
    close() { return this.driver.get('about:blank'); }
}

function freePort() {
    return new Promise((done, failed) => {
        const server = net.createServer().listen(0, '127.0.0.1', () => {
            const { port } = server.address();
            server.close(() => done(port));
        }).on('error', failed);
    });
}

// A child process that is ended with the browser, and that fails the run
// if it ends before.
function start(command, args, options) {
    const child = spawn(command, args, { stdio: ['ignore', 'ignore', 'pipe'], ...options });
    let stderr = '';
    child.stderr.on('data', (data) => { stderr = (stderr + data).slice(-2000); });
    child.exited = new Promise((done) => child.on('exit', (code) => done(`${command} ended (${code}): ${stderr}`)));
    return child;
}

async function launchPuppeteer(engine, modules, work) {
    const puppeteer = require(path.resolve(modules, 'puppeteer-core'));
    const downloads = path.join(work, 'downloads');
    fs.mkdirSync(downloads, { recursive: true });
    let browser;
    if (engine === 'chromium') {
        // Root needs --no-sandbox; the rest keep chromium from calling home.
        browser = await puppeteer.launch({
            executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
            userDataDir: path.join(work, 'profile'),
            headless: true,
            args: ['--no-sandbox', '--headless', '--disable-gpu', '--disable-quic', '--no-first-run',
                '--disable-background-networking', '--disable-component-update', '--disable-sync'],
        });
        const session = await browser.target().createCDPSession();
        await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
    } else {
        browser = await puppeteer.launch({
            browser: 'firefox',
            executablePath: process.env.FIREFOX || '/usr/bin/firefox-esr',
            userDataDir: path.join(work, 'profile'),
            headless: true,
            extraPrefsFirefox: {
                'browser.download.folderList': 2,
                'browser.download.dir': downloads,
                'browser.download.useDownloadDir': true,
                'browser.download.always_ask_before_handling_new_types': false,
                'browser.download.alwaysOpenPanel': false,
                'network.captive-portal-service.enabled': false,
                'network.connectivity-service.enabled': false,
            },
        });
    }
    return {
        engine,
        version: await browser.version(),
        downloads,
        newTab: async () => new PuppeteerTab(await browser.newPage(), engine),
        close: () => browser.close(),
    };
}

// MiniBrowser saves downloads into $HOME, so its home is the downloads
// folder.
async function launchWebKit(modules, work) {
    const webdriver = require(path.resolve(modules, 'selenium-webdriver'));
    const downloads = path.join(work, 'downloads');
    fs.mkdirSync(downloads, { recursive: true });
    const xvfb = start('Xvfb', ['-displayfd', '1', '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'],
        { stdio: ['ignore', 'pipe', 'pipe'] });
    const display = await Promise.race([new Promise((done) => xvfb.stdout.once('data', (data) => done(String(data).trim()))),
        xvfb.exited.then((why) => { throw new Error(why); })]);
    const port = await freePort();
    const env = { ...process.env, DISPLAY: ':' + display, HOME: downloads };
    const driverProcess = start(process.env.WEBKIT_WEBDRIVER || 'WebKitWebDriver', ['--port=' + port], { env });
    const stop = () => { driverProcess.kill(); xvfb.kill(); };
    try {
        let driver = null;
        for (let i = 0; driver === null; ++i) {
            try {
                driver = await new webdriver.Builder().usingServer(`http://127.0.0.1:${port}`).withCapabilities({
                    browserName: 'MiniBrowser',
                    'webkitgtk:browserOptions': {
                        binary: process.env.MINIBROWSER || '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser',
                        args: ['--automation'],
                    },
                }).build();
            } catch (error) {
                if (i === 50)
                    throw error;
                await sleep(100);
            }
        }
        const version = (await driver.getCapabilities()).get('browserVersion');
        return {
            engine: 'webkit',
            version: 'WebKitGTK ' + version,
            downloads,
            newTab: async () => new WebDriverTab(driver, webdriver),
            close: async () => {
                try {
                    await driver.quit();
                } finally {
                    stop();
                }
            },
        };
    } catch (error) {
        stop();
        throw error;
    }
}

function launch(engine, modules, work) {
    if (!engines.includes(engine))
        throw new Error(`no browser engine '${engine}' (${engines.join(', ')})`);
    return engine === 'webkit' ? launchWebKit(modules, work) : launchPuppeteer(engine, modules, work);
}

// Run in the page once it has loaded: a recorder of what the page reports
// as going wrong, and the folder picker stood in for by a folder in memory
// (window.sceneFolder, named 'renders', its files a Map of name to bytes,
// null for a folder) that does what the browser's does: names that are
// no file's refused, a writable written into a file of its own and put in
// place on close. What is put in place is kept also as window.savedBase64
// (small scenes) and savedSha256 (unless discardSaved is set, as for
// timing). Set failWrite to fail the next write, permission to take the
// folder's permission back, change ({ after: N, bytes }) to change a file
// after it has been read N times (bytes null: a folder in its place;
// reads counts them).
// prompt and confirm answer nextSceneName (else the name suggested) and
// confirmAnswer (else yes), and keep what they asked in window.asked.
function pageHelpers() {
    window.problems = [];
    const keep = (what) => window.problems.push(what);
    window.addEventListener('error', (event) => keep('error: ' + event.message));
    window.addEventListener('unhandledrejection', (event) => keep('unhandled rejection: ' + event.reason));
    document.addEventListener('securitypolicyviolation', (event) => keep('refused by the policy: ' + event.blockedURI));
    for (const level of ['error', 'warn']) {
        const original = console[level];
        console[level] = (...args) => {
            keep(`console ${level}: ${args.join(' ')}`);
            original.apply(console, args);
        };
    }
    const refused = (name, what) => new DOMException(`'${name}': ${what}`, what);
    const files = new Map();
    const fileHandle = (name) => ({
        kind: 'file',
        name,
        getFile: async () => {
            if (!files.has(name))
                throw refused(name, 'NotFoundError');
            const bytes = files.get(name);
            if (window.change && ++window.change.reads === window.change.after)
                files.set(name, window.change.bytes);
            return new File([bytes], name);
        },
        createWritable: async () => {
            const parts = [];
            return {
                write: async (data) => {
                    if (window.failWrite) {
                        window.failWrite = false;
                        throw refused(name, 'QuotaExceededError');
                    }
                    parts.push(new Uint8Array(data.buffer || data, data.byteOffset || 0, data.byteLength));
                },
                abort: async () => { parts.length = 0; },
                close: async () => {
                    const whole = new Uint8Array(parts.reduce((size, part) => size + part.length, 0));
                    let at = 0;
                    for (const part of parts) {
                        whole.set(part, at);
                        at += part.length;
                    }
                    window.savedCount = (window.savedCount || 0) + 1;
                    if (window.discardSaved)
                        return;
                    files.set(name, whole);
                    window.savedSha256 = Array.from(new Uint8Array(await crypto.subtle.digest('SHA-256', whole)),
                        (byte) => byte.toString(16).padStart(2, '0')).join('');
                    window.savedBase64 = whole.length < 8 << 20 ? window.base64Of(whole) : null;
                },
            };
        },
    });
    window.base64Of = (bytes) => {
        let text = '';
        for (let i = 0; i < bytes.length; i += 8192)
            text += String.fromCharCode(...bytes.subarray(i, i + 8192));
        return btoa(text);
    };
    const permission = async () => window.permission || 'granted';
    window.sceneFolder = {
        kind: 'directory',
        name: 'renders',
        files,
        queryPermission: permission,
        requestPermission: permission,
        getFileHandle: async (name, { create = false } = {}) => {
            if (['', '.', '..'].includes(name) || /[/\\]/.test(name))
                throw new TypeError(`Name is not allowed: '${name}'`);
            if (files.get(name) === null)
                throw refused(name, 'TypeMismatchError');
            if (!files.has(name) && !create)
                throw refused(name, 'NotFoundError');
            if (!files.has(name))
                files.set(name, new Uint8Array(0));
            return fileHandle(name);
        },
        removeEntry: async (name) => {
            if (!files.delete(name))
                throw refused(name, 'NotFoundError');
        },
    };
    window.showDirectoryPicker = async (options) => {
        window.folderPickerOptions = options;
        return window.sceneFolder;
    };
    window.asked = [];
    window.prompt = (question, suggested) => {
        window.asked.push(`${question} [${suggested}]`);
        return window.nextSceneName === undefined ? suggested : window.nextSceneName;
    };
    window.confirm = (question) => {
        window.asked.push(question);
        return window.confirmAnswer === undefined ? true : window.confirmAnswer;
    };
}

// Resolves when a conversion has ended: the page no longer busy and its
// status line saying how it went.
function conversionEnded(tab, timeout = 120000) {
    return tab.waitFor(() => document.body.getAttribute('aria-busy') === 'false' &&
        /^(Converted|Conversion failed)/.test(document.getElementById('status').textContent), timeout);
}

module.exports = { engines, launch, pageHelpers, conversionEnded };
