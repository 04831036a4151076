// products.js: every method of the Products object, as a check script uses
// them.
//
// Run it on the emulated machine with
//     zorel check --script examples/checks/products.js
// On a fresh machine nothing is installed; to see answers change, register
// programs first (docs/products.md shows the .reg text), for example
//     zorel-wintools regedit /S my-programs.reg
//
// The Products object
// -------------------
// new Products() takes no properties. Every method returns a JSON text with
// "status", "return", "errorcode" and, for most methods, "products": an
// array of {"productname": NAME} (left out when it is empty). The yes/no
// methods answer through "errorcode": 0 means yes, 4312 means no.
//
// Two lists are shared by every Products object of a run and are never
// read again once filled: the maker's products found by detection (the
// first getOlvaneProducts, or the first question that needs them) and the
// other programs of the uninstall list (the first getNonOlvaneProducts, or
// the first question that needs it).

var header = {
  frameworkversion: "1.0",
  jsrevision: "1",
  jsfilename: "products.js"
};

var ExecutionMode = {
  detect: 101
};

// Parse a plug-in answer; an empty text (a failed call) gives errorcode -1.
/**
 * @template {object} T
 * @param {T} object a plug-in object
 * @param {keyof T & string} method the name of one of its methods (zorel.d.ts lists them)
 * @returns {any} the parsed answer
 */
function call(object, method) {
  var text = /** @type {any} */ (object)[method].apply(object, Array.prototype.slice.call(arguments, 2));
  if (!text) return { errorcode: -1 };
  return JSON.parse(text);
}

reportProblem({
  id: 1,
  name: "Products of the maker",
  description: "Which of the maker's products and suites are installed.",
  url: "",
  stages: [101]
});

reportProblem({
  id: 2,
  name: "Other programs",
  description: "Programs of the uninstall list that could conflict with the product.",
  url: "",
  stages: [101]
});

reportProblem({
  id: 3,
  name: "Last installation",
  description: "Whether the core component's last installation failed.",
  url: "",
  stages: [101]
});

var Problems = {
  1: {
    detect: function () {
      var p = new Products();
      // getOlvaneProducts: runs detection; "products" holds the final list
      // (lower-cased catalogue names, suites in place of their members).
      // errorcode 0, or 20030 when detection failed.
      var ours = call(p, "getOlvaneProducts");
      // isAnyOlvaneProductInstalled: 0 when detection found anything, 4312
      // when not (20030 when detection failed and found nothing).
      var any = call(p, "isAnyOlvaneProductInstalled");
      // isOlvaneProductInstalled(name): the name compared without regard to
      // case with the detected names; an empty name is always 4312.
      var harbor = call(p, "isOlvaneProductInstalled", "Olvane Harbor Suite");
      // isOlvaneProductVersionGreaterOrEquals: does no work; always 0.
      call(p, "isOlvaneProductVersionGreaterOrEquals");
      // reportStatus keeps id, stage and status; what was found is in the
      // operation records: ours.products (each with its productname) and
      // harbor.errorcode.
      reportStatus({ id: 1, stage: 101, status: any.errorcode === 0 ? 3 : 1 });
    }
  },

  2: {
    detect: function () {
      var p = new Products();
      // getNonOlvaneProducts: the uninstall list without the maker's
      // programs, by name; "status" true; errorcode 20016 when an uninstall
      // key could not be read.
      var others = call(p, "getNonOlvaneProducts");
      // isNonOlvaneProductInstalled(name): 0 when the list holds the name
      // (any case), 4312 when not, 20016 when no uninstall key was readable.
      var editor = call(p, "isNonOlvaneProductInstalled", "Acme Editor");
      // collect: both lists into the result store's PRODUCT_COLLECTION_TABLE
      // (TYPE 0 the maker's, TYPE 1 the uninstall list's); 0 when both were
      // read. It leaves p.errorcode as it was.
      var collected = call(p, "collect");
      // reportStatus keeps id, stage and status only: the lists themselves
      // are in PRODUCT_COLLECTION_TABLE when collected.errorcode is 0.
      reportStatus({ id: 2, stage: 101, status: editor.errorcode === 0 ? 3 : 1 });
    }
  },

  3: {
    detect: function () {
      // IsCoreComponentInstallSuccess: reads
      // %ProgramData%\Olvane\OVLOGS\ovehidin*.log; 20016 when a log holds
      // "Install error: un-winding install" (the operation record keeps the
      // "hr=" text before it), else 0.
      var core = call(new Products(), "IsCoreComponentInstallSuccess");
      reportStatus({ id: 3, stage: 101, status: core.errorcode === 0 ? 1 : 3 });
    }
  }
};
