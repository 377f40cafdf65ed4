<?php
// Request guard, run before every script (php.ini's auto_prepend_file): what the
// browser says of a request decides, in this order; no page can set Origin or
// Sec-Fetch-Site. One statement with a constant pattern, as PHP compiles this file
// at every request without opcache, and PCRE keeps the pattern compiled.
if (!preg_match('~^ (?: (80) | (\d+) ) \n   # the port; browsers leave 80 out
    (?<own> (?i: 127\.0\.0\.1 | localhost ) (?: : (?: \1 | \2 ) | (?(1) | (*F) ) ) ) \n
                                            # a Host not the server\'s own: 403
    (?: (?: GET | HEAD | OPTIONS ) \n       # GET, HEAD and OPTIONS go through;
      | [^\n]* \n (?:                       # any other method goes through with
          (?i: http:// ) (?&own) \n         #   an own Origin, whatever Sec-Fetch-Site,
        | (?: null )? \n (?: same-origin | none ) \z  # Origin null or absent from own pages,
        | \n \z ) )                         #   or neither header (no browser); else 403
    ~x', ($_SERVER['SERVER_PORT'] ?? '') . "\n" . ($_SERVER['HTTP_HOST'] ?? '') . "\n"
    . ($_SERVER['REQUEST_METHOD'] ?? '') . "\n" . ($_SERVER['HTTP_ORIGIN'] ?? '') . "\n"
    . ($_SERVER['HTTP_SEC_FETCH_SITE'] ?? ''))) {
    header('Content-Type: text/plain; charset=utf-8', true, 403);
    exit("403 Forbidden: this server answers only its own pages.\n");
}
// The php.ini's own auto_prepend_file, which the package moved here.
if (get_cfg_var('dravelo.auto_prepend_file')) {
    require_once get_cfg_var('dravelo.auto_prepend_file');
}
