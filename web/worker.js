// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The page's Web Worker, after engineWasm (the WebAssembly module's bytes
// in base64) and the engine's own script (QuorvelEngine): it converts one
// export at a time in memory, then hands the scene's bytes to the page;
// and it says whether a chosen file may be replaced by a scene.
// The page reads the export and hands its bytes over, which the engine's
// file system then owns: reading a File in the worker fails in some
// browsers opened from disk, and reading it in slices where it lies
// (WORKERFS) asks the browser for every slice and takes twice as long.
// Every message gets an answer, whatever fails. Nothing leaves the machine.
'use strict';
const wasmBinary = Uint8Array.from(atob(engineWasm.trim()), (c) => c.charCodeAt(0));

// What a file written into /scenes (the scene, under a temporary name
// first) is likely to need: with the trackers, a large export's scene is
// somewhat under half its size.
let sceneStart = 0;

// The engine from the bytes above: it fetches nothing.
function startEngine() {
    const ready = QuorvelEngine({ wasmBinary }).then((engine) => {
        // The in-memory file system grows a file by an eighth at a time past
        // 1 MB: some 40 copies of a 100 MB scene. Doubling from the likely
        // size makes it none or one.
        const memfs = engine.FS.filesystems.MEMFS;
        const grow = memfs.expandFileStorage;
        memfs.expandFileStorage = (node, capacity) => {
            const current = node.contents ? node.contents.length : 0;
            if (capacity > current)
                grow(node, Math.max(capacity, 2 * current, node.parent.name === 'scenes' ? sceneStart : 0));
        };
        return engine;
    });
    // A failure to start is answered to the conversion that waits for it.
    ready.catch(() => {});
    return ready;
}
let engineReady = startEngine();

function convert(engine, { bytes, exportName, sceneName, sceneHead, saveTrackpoints, factorText }) {
    const FS = engine.FS;
    const scene = '/scenes/' + sceneName;
    for (const folder of ['/input', '/scenes']) {
        if (!FS.analyzePath(folder).exists)
            FS.mkdir(folder);
    }
    // The export is named as the user knows it, without a folder. With none
    // chosen, the engine says so as it does in the window.
    sceneStart = bytes && saveTrackpoints ? Math.ceil(bytes.byteLength / 2) : 0;
    if (bytes)
        FS.createDataFile('/input', exportName, new Uint8Array(bytes), true, false, true);
    FS.chdir('/input');
    try {
        const result = JSON.parse(engine.ccall('quorvel_convert', 'string',
            ['string', 'string', 'number', 'string', 'array', 'number'],
            [bytes ? exportName : '', scene, saveTrackpoints ? 1 : 0, factorText,
                sceneHead || new Uint8Array(0), sceneHead ? sceneHead.length : -1]));
        if (!result.ok)
            return { result };
        // The scene's own memory is handed over, not a copy of it.
        const node = FS.lookupPath(scene).node;
        const written = node.contents ? node.contents.subarray(0, node.usedBytes) : new Uint8Array(0);
        FS.unlink(scene);
        return { result, bytes: written };
    } finally {
        FS.chdir('/');
        if (bytes && FS.analyzePath('/input/' + exportName).exists)
            FS.unlink('/input/' + exportName);
    }
}

// Whether the file named sceneName, whose first bytes are sceneHead, may be
// replaced: the engine's reason when not, else ''.
function checkScene(engine, { sceneName, sceneHead }) {
    return { problem: engine.ccall('quorvel_scene_head_problem', 'string', ['string', 'array', 'number'],
        [sceneName, sceneHead, sceneHead.length]) };
}

onmessage = async (event) => {
    try {
        const engine = await engineReady;
        const answer = event.data.checkOnly ? checkScene(engine, event.data) : convert(engine, event.data);
        postMessage(answer, answer.bytes ? [answer.bytes.buffer] : []);
    } catch (error) {
        // The engine itself failed (no memory left, say): a fresh one for
        // the next conversion, and this one's failure for the page to show.
        engineReady = startEngine();
        postMessage({ result: { ok: false, failure: String(error && error.message || error) } });
    }
};
