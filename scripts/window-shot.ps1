# Saves a picture of the top-level window titled -Title to -Path (PNG), waiting up
# to 30 s for it to appear, and then closes the window. Used by scripts/on-windows.
param([Parameter(Mandatory)][string]$Title, [Parameter(Mandatory)][string]$Path)
$ErrorActionPreference = 'Stop'
Add-Type -AssemblyName System.Drawing
Add-Type @'
using System;
using System.Runtime.InteropServices;
public static class Shot {
  public struct Rect { public int Left, Top, Right, Bottom; }
  [DllImport("user32.dll", CharSet = CharSet.Unicode)]
  public static extern IntPtr FindWindow(string cls, string title);
  [DllImport("user32.dll")] public static extern bool GetWindowRect(IntPtr window, out Rect r);
  [DllImport("user32.dll")] public static extern bool PostMessage(IntPtr window, uint message, IntPtr w, IntPtr l);
  [DllImport("user32.dll")] public static extern bool SetProcessDPIAware();
}
'@
# Screen pixels, not the coordinates of a program that knows no DPI.
[void][Shot]::SetProcessDPIAware()
$window = [IntPtr]::Zero
for ($i = 0; $i -lt 150 -and $window -eq [IntPtr]::Zero; $i++) {
  Start-Sleep -Milliseconds 200
  $window = [Shot]::FindWindow($null, $Title)
}
if ($window -eq [IntPtr]::Zero) { throw "no window titled '$Title'" }
Start-Sleep -Seconds 1  # painted
$r = New-Object Shot+Rect
[void][Shot]::GetWindowRect($window, [ref]$r)
$picture = New-Object System.Drawing.Bitmap ($r.Right - $r.Left), ($r.Bottom - $r.Top)
$graphics = [System.Drawing.Graphics]::FromImage($picture)
$graphics.CopyFromScreen($r.Left, $r.Top, 0, 0, $picture.Size)
$picture.Save($Path, [System.Drawing.Imaging.ImageFormat]::Png)
[void][Shot]::PostMessage($window, 0x0010, [IntPtr]::Zero, [IntPtr]::Zero)  # WM_CLOSE
Write-Output "window-shot: $Path"
