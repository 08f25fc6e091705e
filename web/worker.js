// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The page's Web Worker, after the engine's own script (QuorvelEngine): it
// converts one export at a time in memory, then hands the scene's bytes to
// the page. The export is read in one piece, which the engine's file
// system then owns: reading it in slices where it lies (WORKERFS) asks the
// browser for every slice and takes twice as long. Nothing leaves the
// machine.
'use strict';
const engineReady = QuorvelEngine().then((engine) => {
    // The in-memory file system grows a file by an eighth at a time past
    // 1 MB: some 40 copies of a 100 MB scene. Doubling makes it a handful.
    const memfs = engine.FS.filesystems.MEMFS;
    const grow = memfs.expandFileStorage;
    memfs.expandFileStorage = (node, capacity) => {
        const current = node.contents ? node.contents.length : 0;
        if (capacity > current)
            grow(node, Math.max(capacity, 2 * current));
    };
    return engine;
});

onmessage = async (event) => {
    const { file, sceneName, saveTrackpoints, factorText } = event.data;
    const engine = await engineReady;
    const started = performance.now();
    const bytes = file ? new Uint8Array(await file.arrayBuffer()) : null;
    const FS = engine.FS;
    const scene = '/scenes/' + sceneName;
    for (const folder of ['/input', '/scenes']) {
        if (!FS.analyzePath(folder).exists)
            FS.mkdir(folder);
    }
    // The export is named as the user knows it, without a folder. With none
    // chosen, the engine says so as it does in the window.
    if (file)
        FS.createDataFile('/input', file.name, bytes, true, false, true);
    FS.chdir('/input');
    try {
        const result = JSON.parse(engine.ccall('quorvel_convert', 'string',
            ['string', 'string', 'number', 'string'],
            [file ? file.name : '', scene, saveTrackpoints ? 1 : 0, factorText]));
        result.milliseconds = performance.now() - started;
        if (!result.ok) {
            postMessage({ result });
            return;
        }
        // The scene's own memory is handed over, not a copy of it.
        const node = FS.lookupPath(scene).node;
        const written = node.contents ? node.contents.subarray(0, node.usedBytes) : new Uint8Array(0);
        FS.unlink(scene);
        postMessage({ result, bytes: written }, [written.buffer]);
    } finally {
        FS.chdir('/');
        if (file)
            FS.unlink('/input/' + file.name);
    }
};
