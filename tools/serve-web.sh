#!/usr/bin/env bash
# Serves the updater's page on localhost, as any static host would, and prints its address:
# build/web/dist/ (the page as it is shipped) unless another folder is given. A page on
# http://127.0.0.1 or http://localhost may use WebHID, as one served over https may.
# Usage: tools/serve-web.sh [FOLDER] [PORT]     (PORT 8080 unless given; Ctrl-C ends it)
# Run by a developer by hand, and by tools/run-demo.sh --web.
set -euo pipefail
cd "$(dirname "$0")/.."
folder="${1:-build/web/dist}"
port="${2:-8080}"
if [ ! -f "$folder/index.html" ]; then
  echo "serve-web.sh: no page in $folder; build it with: cmake --workflow --preset web" >&2
  exit 1
fi
echo "The updater's page: http://127.0.0.1:$port/ (serving $folder; Ctrl-C ends)"
exec python3 - "$folder" "$port" <<'PYTHON'
import functools
import http.server
import sys

folder, port = sys.argv[1], int(sys.argv[2])


class Handler(http.server.SimpleHTTPRequestHandler):
    # Browsers compile a .wasm while it loads only when it comes as application/wasm.
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript",
                      ".rules": "text/plain"}


server = http.server.ThreadingHTTPServer(("127.0.0.1", port),
                                         functools.partial(Handler, directory=folder))
try:
    server.serve_forever()
except KeyboardInterrupt:
    pass
PYTHON
