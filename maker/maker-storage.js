// What the person made, kept in the browser's storage (IndexedDB) so a
// reload or a closed tab loses nothing: one record per key (the text, the
// name, the description, the player, and each piece as { name, bytes }).
// Where the browser refuses storage (a private window, a page opened from
// disk under some settings), `refused` says why and every call does
// nothing, so the page works on without it.
'use strict';
(() => {
  const M = window.QuillonMaker = window.QuillonMaker || {};
  const DB = 'quillon-maker', STORE = 'work';

  class Storage {
    constructor() {
      this.db = null;
      this.refused = null;
    }

    open() {
      return new Promise((resolve) => {
        let request;
        try {
          request = indexedDB.open(DB, 1);
        } catch (error) {
          this.refused = String(error && error.message || error);
          resolve(false);
          return;
        }
        request.onupgradeneeded = () => request.result.createObjectStore(STORE);
        request.onsuccess = () => {
          this.db = request.result;
          resolve(true);
        };
        request.onerror = () => {
          this.refused = String(request.error && request.error.message || request.error);
          resolve(false);
        };
        request.onblocked = () => {
          this.refused = 'another tab holds an older form of the storage';
          resolve(false);
        };
      });
    }

    transaction(mode, work) {
      if (!this.db) return Promise.resolve(null);
      return new Promise((resolve, reject) => {
        let result = null;
        try {
          const t = this.db.transaction(STORE, mode);
          const store = t.objectStore(STORE);
          result = work(store);
          t.oncomplete = () => resolve(result && 'result' in result ? result.result : null);
          t.onerror = t.onabort = () => reject(t.error || new Error('the storage refused'));
        } catch (error) {
          reject(error);
        }
      });
    }

    // Every stored record as { key: value }.
    async all() {
      if (!this.db) return {};
      const out = {};
      await new Promise((resolve, reject) => {
        const t = this.db.transaction(STORE, 'readonly');
        const request = t.objectStore(STORE).openCursor();
        request.onsuccess = () => {
          const cursor = request.result;
          if (!cursor) return;
          out[cursor.key] = cursor.value;
          cursor.continue();
        };
        t.oncomplete = resolve;
        t.onerror = t.onabort = () => reject(t.error);
      });
      return out;
    }

    put(key, value) {
      return this.transaction('readwrite', (s) => (value === null || value === undefined ? s.delete(key) : s.put(value, key)));
    }

    clear() {
      return this.transaction('readwrite', (s) => s.clear());
    }
  }

  M.Storage = Storage;
})();
