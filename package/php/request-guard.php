<?php
// Request guard, run before every PHP script (php.ini's auto_prepend_file).
// The server listens on 127.0.0.1 only, but any web page the user visits can
// still send requests there, and by DNS rebinding read the answers under a
// host name of its own. Answered 403: a Host that is not this server's, and a
// state-changing request that another site sends. Files the server sends
// without running PHP never come here.
declare(strict_types=1);

(static function (): void {
    $port = (string) ($_SERVER['SERVER_PORT'] ?? '');
    // [::1] is left out: the server does not listen there.
    $own = ["127.0.0.1:$port", "localhost:$port"];
    if ($port === '80') {
        // Browsers leave the default port out of Host and Origin.
        array_push($own, '127.0.0.1', 'localhost');
    }
    $host = strtolower((string) ($_SERVER['HTTP_HOST'] ?? ''));
    $refused = !in_array($host, $own, true);
    $method = strtoupper((string) ($_SERVER['REQUEST_METHOD'] ?? 'GET'));
    if (!$refused && in_array($method, ['POST', 'PUT', 'PATCH', 'DELETE'], true)) {
        $site = strtolower((string) ($_SERVER['HTTP_SEC_FETCH_SITE'] ?? ''));
        $origin = $_SERVER['HTTP_ORIGIN'] ?? null;
        $refused = $site === 'cross-site'
            || ($origin !== null && !in_array(strtolower((string) $origin),
                array_map(static fn (string $h): string => "http://$h", $own), true));
    }
    if ($refused) {
        http_response_code(403);
        header('Content-Type: text/plain; charset=utf-8');
        echo "403 Forbidden: this server answers only its own pages.\n";
        exit;
    }
})();

// The php.ini's own auto_prepend_file, which the package moved here.
if ((string) get_cfg_var('dravelo.auto_prepend_file') !== '') {
    require_once get_cfg_var('dravelo.auto_prepend_file');
}
