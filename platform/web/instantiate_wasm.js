// A program's .wasm read (SiteBytes) and instantiated here rather than by the
// loader, whose fallbacks print four lines for a missing file and never say
// so on the page: fail(reason) says it once. Inlined into the page when the
// site is built.
function InstantiateWasm(file, imports, receive, fail) {
  SiteBytes(file).then(function (bytes) {
    return WebAssembly.instantiate(bytes, imports);
  }).then(function (result) {
    receive(result.instance);
  }, function (e) {
    fail(e.message);
  });
  return {};
}
