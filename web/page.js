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
// Where the scene goes: a folder the user gave the page and a name in it,
// where the browser lets a page write into a folder; else a name for the
// download. shown is what the output box shows.
let scene = null;
let busy = false;
// The scene file being chosen: meanwhile neither Convert nor a second
// choice starts.
let choosing = false;
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

// One message to the worker: its answer, or an error when the worker
// fails or its answer cannot be read, so that nothing waits forever (and
// a fresh worker for the next message). One at a time, each after the one
// before has its answer.
let workerFree = Promise.resolve();
function inWorker(message, transfer = []) {
    const answer = workerFree.then(() => new Promise((resolve, reject) => {
        worker.onmessage = (event) => resolve(event.data);
        worker.onmessageerror = () => reject(new Error('its answer could not be read'));
        worker.onerror = (event) => {
            event.preventDefault();
            reject(new Error(event.message || 'it stopped'));
        };
        worker.postMessage(message, transfer);
    }));
    workerFree = answer.catch(() => {
        worker.terminate();
        startWorker();
    });
    return answer;
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

// Why a typed name cannot be a file's name in the folder chosen, or ''.
function nameProblem(name) {
    if (name === '')
        return 'No name was given for the scene file.';
    if (name === '.' || name === '..' || /[/\\\u0000-\u001f\u007f]/.test(name))
        return "'" + name + "' cannot be the scene file's name: it must be a file's name in the folder chosen, " +
            'without / or \\ or control characters, and not . or ..';
    return '';
}

// A scene file in a folder, as messages name it.
function described({ folder, name }) {
    return "'" + name + "' in the folder " + folder.name;
}

// What the browser's refusal means for the scene file.
function reason(error, target) {
    switch (error.name) {
    case 'NotFoundError': return 'the folder ' + target.folder.name + ' is no longer there';
    case 'TypeMismatchError': return 'it is a folder';
    case 'NotAllowedError':
    case 'SecurityError': return 'the browser does not let this page write into the folder ' + target.folder.name;
    case 'NoModificationAllowedError': return 'it is being written by another program or page';
    case 'QuotaExceededError': return 'there is no room left for it';
    default: return error.message;
    }
}

// The first bytes of the scene file, or null when there is none yet.
async function readSceneHead({ folder, name }) {
    let handle;
    try {
        handle = await folder.getFileHandle(name);
    } catch (error) {
        if (error.name === 'NotFoundError')
            return null;
        throw error;
    }
    return new Uint8Array(await (await handle.getFile()).slice(0, 32).arrayBuffer());
}

// The engine's reason why the file with these first bytes may not be
// replaced by a scene, or ''.
async function replaceProblem(target, head) {
    return head === null ? '' : (await inWorker({ checkOnly: true, sceneName: target.name, sceneHead: head })).problem;
}

// A choice of scene file that is not taken: the box says why, and the
// scene file chosen before stays.
function refuse(message) {
    showError('The scene file was not chosen.', message);
}

// A folder, then the scene's name in it. Nothing on disk changes here: a
// file of that name is replaced only at Convert, only if it is a scene
// file or empty, and only once the user has said so.
async function askForSceneInFolder() {
    let folder;
    try {
        folder = await window.showDirectoryPicker({ id: 'quorvel-scenes', mode: 'readwrite' });
    } catch (error) {
        // Cancelled: nothing changes, as with the window's dialog.
        if (error.name === 'AbortError')
            return null;
        throw error;
    }
    const typed = window.prompt('Name of the scene file in the folder ' + folder.name + ':', suggestedSceneName());
    if (typed === null)
        return null;
    const problem = nameProblem(typed.trim());
    if (problem) {
        refuse(problem);
        return null;
    }
    const target = { folder, name: withExtension(typed.trim()) };
    target.shown = folder.name.replace(/[/\\]+$/, '') + '/' + target.name;
    let head;
    try {
        head = await readSceneHead(target);
    } catch (error) {
        refuse('Cannot read the scene file ' + described(target) + ' to see that it is one: ' + reason(error, target));
        return null;
    }
    const notAScene = await replaceProblem(target, head);
    if (notAScene) {
        refuse(notAScene);
        return null;
    }
    if (head !== null && !window.confirm("'" + target.name + "' already exists in the folder " + folder.name +
        '.\nDo you want to replace it?'))
        return null;
    return target;
}

async function askForScene() {
    if (window.showDirectoryPicker)
        return askForSceneInFolder();
    const name = window.prompt('Save the scene file as (it is downloaded with this name):', suggestedSceneName());
    return name && name.trim() ? { folder: null, name: withExtension(name.trim()), shown: withExtension(name.trim()) } : null;
}

openOutput.addEventListener('click', async () => {
    if (busy || choosing)
        return;
    choosing = true;
    convert.disabled = true;
    let chosen = null;
    try {
        chosen = await askForScene();
    } catch (error) {
        refuse('The scene file could not be chosen: ' + error.message);
    } finally {
        choosing = false;
        convert.disabled = scene === null && chosen === null;
    }
    if (!chosen)
        return;
    scene = chosen;
    outputName.value = chosen.shown;
    // What the status line said belongs to the previous scene file.
    showStatus('', []);
});

// The scene into its file in the folder. An existing file is replaced
// only after the engine has seen once more that it is a scene file or
// empty (it may have changed since it was chosen); the browser writes into
// a file of its own and puts it in place when complete, so a failure
// keeps the old scene. A file made here is removed again when writing it
// fails. The engine's reason when the file is not replaced, else ''.
async function saveInFolder(target, bytes) {
    const { folder, name } = target;
    let handle;
    let made = false;
    try {
        handle = await folder.getFileHandle(name);
    } catch (error) {
        if (error.name !== 'NotFoundError')
            throw error;
        handle = await folder.getFileHandle(name, { create: true });
        made = true;
    }
    let writable = null;
    try {
        const head = new Uint8Array(await (await handle.getFile()).slice(0, 32).arrayBuffer());
        // Not empty: made by another program in between, so not this page's.
        if (head.length > 0)
            made = false;
        const problem = await replaceProblem(target, head);
        if (problem) {
            if (made)
                await folder.removeEntry(name);
            return problem;
        }
        writable = await handle.createWritable();
        await writable.write(bytes);
        await writable.close();
        return '';
    } catch (error) {
        if (writable)
            await writable.abort().catch(() => {});
        if (made)
            await folder.removeEntry(name).catch(() => {});
        throw error;
    }
}

async function save(target, bytes) {
    if (target.folder)
        return saveInFolder(target, bytes);
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
    link.download = target.name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
    return '';
}

function showError(title, message) {
    errorBox.querySelector('strong').textContent = title;
    byId('error-message').textContent = message;
    errorBox.showModal();
}

function fail(message) {
    showStatus('Conversion failed', [message]);
    failureShown = true;
    showError('The conversion failed.', message);
}

function failed(message) {
    setBusy(false);
    fail(message);
}

convert.addEventListener('click', async () => {
    if (busy || choosing || scene === null)
        return;
    const target = scene;
    const options = { saveTrackpoints: saveTrackpoints.checked, factorText: factor.value };
    const exportName = inputFile ? inputFile.name : '';
    setBusy(true);
    showStatus('Converting ' + exportName + '…', []);
    const started = performance.now();
    // Only a scene file or an empty file is replaced: the engine is given
    // the first bytes of the file of that name as it is now (a download
    // replaces nothing), and is asked again before the scene is written.
    // The folder's permission, if the browser took it back, is asked for
    // while this click lets the page ask.
    let sceneHead = null;
    if (target.folder) {
        try {
            const mode = { mode: 'readwrite' };
            if (await target.folder.queryPermission(mode) !== 'granted' &&
                await target.folder.requestPermission(mode) !== 'granted')
                throw new DOMException('permission not given', 'NotAllowedError');
            sceneHead = await readSceneHead(target);
        } catch (error) {
            failed('Cannot use the scene file ' + described(target) + ': ' + reason(error, target));
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
        answer = await inWorker({ bytes, exportName, sceneName: target.name, sceneHead, ...options },
            bytes ? [bytes] : []);
    } catch (error) {
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
        const problem = await save(target, answer.bytes);
        if (problem) {
            failed(problem);
            return;
        }
    } catch (error) {
        failed('Cannot write the scene file ' + described(target) + ': ' + reason(error, target) +
            '. The scene was not saved.');
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
