// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The page's controls, which work as the window's do: choose the export
// (button or drop) and the scene file, set the option and the factor,
// Convert. Convert is enabled by choosing a scene file and disabled again
// after each conversion; a failed one says why, saves nothing and leaves
// Convert enabled. The engine runs in a Web Worker, so that a large export
// never freezes the page.
'use strict';

const byId = (id) => document.getElementById(id);
const openInput = byId('open-input');
const inputName = byId('input-name');
const inputPicker = byId('input-picker');
const openOutput = byId('open-output');
const outputName = byId('output-name');
const saveTrackpoints = byId('save-trackpoints');
const factor = byId('factor');
const convert = byId('convert');
const statusLine = byId('status');
const details = byId('details');
const progress = byId('progress');
const errorBox = byId('error-box');

let inputFile = null;
// Where the scene goes: a file handle from the save picker, or a name for
// the download where the browser has no such picker.
let scene = null;
let busy = false;
// A failure shown in the status line belongs to its export: the next one clears it.
let failureShown = false;

// The worker's script: the engine's WebAssembly bytes (base64, which has
// no quote), the engine, then the worker's own part.
let worker = null;
function startWorker() {
    worker = new Worker(URL.createObjectURL(new Blob(
        ['const engineWasm = "', byId('engine-wasm').textContent.trim(), '";\n',
            byId('engine-source').textContent, '\n', byId('worker-source').textContent],
        { type: 'text/javascript' })));
}
startWorker();

// One conversion in the worker: its answer, or an error when the worker
// fails or its answer cannot be read, so that no conversion waits forever.
function inWorker(message, transfer) {
    return new Promise((resolve, reject) => {
        worker.onmessage = (event) => resolve(event.data);
        worker.onmessageerror = () => reject(new Error('its answer could not be read'));
        worker.onerror = (event) => {
            event.preventDefault();
            reject(new Error(event.message || 'it stopped'));
        };
        worker.postMessage(message, transfer);
    });
}

// The status line's text, on as many lines as it has, and the details.
function showStatus(text, lines) {
    failureShown = false;
    statusLine.replaceChildren(...text.split('\n').flatMap((line, i) =>
        i === 0 ? [line] : [document.createElement('br'), line]));
    details.replaceChildren(...lines.map((line) => {
        const item = document.createElement('li');
        item.textContent = line;
        return item;
    }));
}

function setBusy(state) {
    busy = state;
    progress.hidden = !state;
    document.body.setAttribute('aria-busy', String(state));
    for (const control of [openInput, openOutput, saveTrackpoints, factor])
        control.disabled = state;
    convert.disabled = state || scene === null;
}

function chooseInput(file) {
    inputFile = file;
    inputName.value = file.name;
    if (failureShown)
        showStatus('', []);
}

openInput.addEventListener('click', () => inputPicker.click());
inputPicker.addEventListener('change', () => {
    if (inputPicker.files.length === 1)
        chooseInput(inputPicker.files[0]);
    inputPicker.value = '';
});

// An export dropped anywhere on the page is the export file.
document.addEventListener('dragover', (event) => {
    event.preventDefault();
    event.dataTransfer.dropEffect = busy ? 'none' : 'copy';
});
document.addEventListener('drop', (event) => {
    event.preventDefault();
    if (!busy && event.dataTransfer.files.length === 1)
        chooseInput(event.dataTransfer.files[0]);
});

// The name a scene file gets by default, and the extension it is given
// when the name has none.
function suggestedSceneName() {
    return (inputFile ? inputFile.name.replace(/\.[^.]*$/, '') : 'scene') + '.syncar';
}

function withExtension(name) {
    return /\.[^.]+$/.test(name) ? name : name + '.syncar';
}

async function askForScene() {
    if (window.showSaveFilePicker) {
        try {
            const handle = await window.showSaveFilePicker({
                suggestedName: suggestedSceneName(),
                types: [{ description: 'Syncar Files', accept: { 'application/octet-stream': ['.syncar'] } }],
            });
            return { handle, name: handle.name };
        } catch (error) {
            // Cancelled: nothing changes, as with the window's dialog.
            if (error.name === 'AbortError')
                return null;
            throw error;
        }
    }
    const name = window.prompt('Save the scene file as (it is downloaded with this name):', suggestedSceneName());
    return name && name.trim() ? { handle: null, name: withExtension(name.trim()) } : null;
}

openOutput.addEventListener('click', async () => {
    const chosen = await askForScene();
    if (!chosen)
        return;
    scene = chosen;
    outputName.value = chosen.name;
    convert.disabled = false;
    // What the status line said belongs to the previous scene file.
    showStatus('', []);
});

async function save(bytes) {
    if (scene.handle) {
        const writable = await scene.handle.createWritable();
        await writable.write(bytes);
        await writable.close();
        return;
    }
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
    link.download = scene.name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

function fail(message) {
    showStatus('Conversion failed', [message]);
    failureShown = true;
    byId('error-message').textContent = message;
    errorBox.showModal();
}

function failed(message) {
    setBusy(false);
    fail(message);
}

convert.addEventListener('click', async () => {
    if (busy || scene === null)
        return;
    const options = { saveTrackpoints: saveTrackpoints.checked, factorText: factor.value };
    const exportName = inputFile ? inputFile.name : '';
    setBusy(true);
    showStatus('Converting ' + exportName + '…', []);
    const started = performance.now();
    // Only a scene file or an empty file is replaced: the engine is given
    // the first bytes of the file chosen (a download replaces nothing). A
    // picker that empties the file it was told to replace leaves nothing
    // to check.
    let sceneHead = null;
    if (scene.handle) {
        try {
            sceneHead = new Uint8Array(await (await scene.handle.getFile()).slice(0, 32).arrayBuffer());
        } catch (error) {
            failed('Cannot read the scene file ' + outputName.value + ' to see that it is one: ' + error.message);
            return;
        }
    }
    // The export is read here and its bytes handed to the worker, not
    // copied: some browsers cannot read a File in a worker opened from disk.
    let bytes = null;
    try {
        if (inputFile)
            bytes = await inputFile.arrayBuffer();
    } catch (error) {
        failed('Cannot read the export file ' + exportName + ': ' + error.message);
        return;
    }
    let answer;
    try {
        answer = await inWorker({ bytes, exportName, sceneName: outputName.value, sceneHead, ...options },
            bytes ? [bytes] : []);
    } catch (error) {
        // A fresh worker for the next conversion.
        worker.terminate();
        startWorker();
        answer = { result: { ok: false, failure: error.message } };
    }
    const { result } = answer;
    if (!result.ok) {
        failed(result.failure !== undefined
            ? 'The converter in this page failed (' + result.failure + '). Nothing was saved; try again.'
            : result.message);
        return;
    }
    document.body.dataset.lastConversionMs = String(Math.round(performance.now() - started));
    try {
        await save(answer.bytes);
    } catch (error) {
        failed('Cannot write the scene file ' + outputName.value + ': ' + error.message);
        return;
    }
    setBusy(false);
    // Away from Convert before it is disabled: Open Output File is the
    // next step.
    openOutput.focus();
    convert.disabled = true;
    scene = null;
    showStatus(result.status, result.details);
});

// Enter in the factor box presses Convert when it is enabled.
factor.addEventListener('keydown', (event) => {
    if (event.key === 'Enter' && !convert.disabled)
        convert.click();
});

errorBox.addEventListener('close', () => (convert.disabled ? openOutput : convert).focus());
