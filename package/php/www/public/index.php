<?php
// Sample page of the web application's public folder: shows that PHP serves it.
// Replace it with the application's own pages.
declare(strict_types=1);

function esc(string $text): string
{
    return htmlspecialchars($text, ENT_QUOTES | ENT_SUBSTITUTE | ENT_HTML5, 'UTF-8');
}

$facts = [
    'PHP version' => PHP_VERSION,
    'Server API' => PHP_SAPI,
    'Server time' => date('Y-m-d H:i:s T'),
    'Requested' => (string) ($_SERVER['REQUEST_URI'] ?? '(none)'),
];
?>
<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Dravelo_WEB_MONITOR: it works</title>
<style>
body { font-family: sans-serif; margin: 2em; }
th { text-align: left; padding-right: 1em; }
</style>
</head>
<body>
<h1>It works.</h1>
<p>This page is served by PHP's built-in web server, started by Dravelo_WEB_MONITOR.</p>
<table>
<?php foreach ($facts as $name => $value): ?>
<tr><th><?= esc($name) ?></th><td><?= esc($value) ?></td></tr>
<?php endforeach; ?>
</table>
<p>Put the web application into the folder <code>php\www\public\</code> and replace this page.</p>
</body>
</html>
