<?php
// A value kept in the file $STATE, set by a POST, with how that POST came. The
// form posts ?value to ?to (a host name) under the Referrer-Policy ?policy.
if ($_SERVER['REQUEST_METHOD'] === 'POST') {
    file_put_contents(getenv('STATE'), "$_POST[value] from " . ($_SERVER['HTTP_ORIGIN'] ?? '-')
        . ' ' . ($_SERVER['HTTP_SEC_FETCH_SITE'] ?? '-'));
}
header('Referrer-Policy: ' . ($_GET['policy'] ?? 'strict-origin-when-cross-origin'));
$opcache = function_exists('opcache_get_status') && opcache_get_status(false)['opcache_enabled'];
$to = htmlspecialchars(($_GET['to'] ?? '127.0.0.1') . ":$_SERVER[SERVER_PORT]");
?>
<p>state: <?= htmlspecialchars(file_get_contents(getenv('STATE'))) ?>; opcache <?= $opcache ? 'on' : 'off' ?>
<form method="post" action="http://<?= $to ?>/state.php"><button id="send">Send</button>
  <input type="hidden" name="value" value="<?= htmlspecialchars($_GET['value'] ?? '') ?>"></form>
