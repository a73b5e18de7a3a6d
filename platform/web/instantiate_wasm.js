// A program's .wasm fetched and instantiated here rather than by the
// loader, whose fallbacks print four lines for a missing file and never say
// so on the page: fail(reason) says it once. Inlined into the page when the
// site is built.
function InstantiateWasm(file, imports, receive, fail) {
  fetch(file, { credentials: 'same-origin' }).then(function (response) {
    if (!response.ok) throw new Error('HTTP ' + response.status);
    return response.arrayBuffer();
  }).then(function (bytes) {
    return WebAssembly.instantiate(bytes, imports);
  }).then(function (result) {
    receive(result.instance);
  }, function (e) {
    fail(e.message);
  });
  return {};
}
