// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// What the browser tests and the browser benchmark share: Debian's chromium,
// headless, with a fresh profile and nothing of its own on the network, and
// a stand-in for the save picker.
'use strict';
const path = require('node:path');

// Root needs --no-sandbox; the rest keep chromium from calling home.
async function launchChromium(modules, profile) {
    const puppeteer = require(path.resolve(modules, 'puppeteer-core'));
    return puppeteer.launch({
        executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
        userDataDir: profile,
        headless: true,
        args: ['--no-sandbox', '--headless', '--disable-gpu', '--disable-quic', '--no-first-run',
            '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    });
}

// The page's save picker stood in for: what the page writes is kept, as
// base64 for small scenes and as a SHA-256 for every one (unless
// discardSaved is set, as for timing).
function standInSavePicker() {
    window.showSaveFilePicker = async (options) => {
        window.savePickerOptions = options;
        const parts = [];
        return {
            name: window.nextSceneName || 'scene.syncar',
            createWritable: async () => ({
                write: async (data) => parts.push(data),
                close: async () => {
                    window.savedCount = (window.savedCount || 0) + 1;
                    if (window.discardSaved)
                        return;
                    const whole = new Uint8Array(parts.reduce((size, part) => size + part.length, 0));
                    let at = 0;
                    for (const part of parts) {
                        whole.set(part, at);
                        at += part.length;
                    }
                    window.savedSha256 = Array.from(new Uint8Array(await crypto.subtle.digest('SHA-256', whole)),
                        (byte) => byte.toString(16).padStart(2, '0')).join('');
                    let text = '';
                    if (whole.length < 8 << 20) {
                        for (let i = 0; i < whole.length; i += 8192)
                            text += String.fromCharCode(...whole.subarray(i, i + 8192));
                        window.savedBase64 = btoa(text);
                    }
                },
            }),
        };
    };
}

// Resolves when a conversion has ended: the page no longer busy and its
// status line saying how it went.
function conversionEnded(tab, timeout = 120000) {
    return tab.waitForFunction(() => document.body.getAttribute('aria-busy') === 'false' &&
        /^(Converted|Conversion failed)/.test(document.getElementById('status').textContent), { timeout });
}

module.exports = { launchChromium, standInSavePicker, conversionEnded };
