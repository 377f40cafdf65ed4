"""The checks of scripts/package, which runs them with Debian's /usr/bin/python3
(winfiles reads programs with its pefile):

  package_checks.py stage PHP_ZIP DOCROOT BUNDLE PRESET guard|no-guard
    checks the PHP ZIP, its php.ini and the document root, then lays them out
    in BUNDLE as php\\ will be, with a php.ini and, unless no-guard, the
    request guard; prints the C runtime PHP needs and the ZIP lacks, if any
  package_checks.py verify ZIP INSTALLER NSIS_FOLDER NAME PRESET BUNDLE RUNTIME PROGRAM
                           guard|no-guard
    checks the packages that CPack made from the staged tree
  package_checks.py verify-install DRIVE KEPT BUNDLE
    checks the installations in Wine's drive_c after the upgrade

What is wrong goes to standard error as "package: ..."; then the exit code is 1."""

import getpass
import os
import pathlib
import re
import shutil
import sys
import zipfile

import winfiles

TOP = "Dravelo_WEB_MONITOR/"
PROGRAM = "Dravelo_WEB_MONITOR.exe"
SAMPLE_PAGE = "php/www/public/index.php"
# The C runtime of Visual C++ that PHP for Windows is built with.
RUNTIME_DLL = re.compile(r"(vcruntime|msvcp|msvcr)\d+(_\d+)?\.dll", re.I)
RUNTIME_YEARS = {"140": "2015-2022", "120": "2013", "110": "2012", "100": "2010"}
# What README.txt tells every user, and without a bundled PHP where PHP goes.
README_TEXTS = [b"shell:startup", b'"Start in"', b"php\\www\\public\\", b"Dravelo_WEB_MONITOR.CFG",
                b"%LOCALAPPDATA%\\Programs\\Dravelo_WEB_MONITOR"]
README_PHP_TEXTS = [b"windows.php.net", b'"Non Thread Safe"', b"php\\php.exe", b"vcruntime140.dll"]
# What a name may not hold: what Windows forbids in names, and ";", at which the
# CMake list that makes the uninstaller's list of files would split it.
BAD_NAME = re.compile(r'[\x00-\x1f\x7f"*:<>?\\|;]')

# Without them PHP for Windows loads extensions from C:\php\ext and includes
# from C:\php\pear, folders that any user of the PC may make. PHP expands
# ${PHPRC}, which the program sets to the php folder when it has a php.ini.
INI_LINES = ['extension_dir = "${PHPRC}\\ext"', 'include_path = ".;${PHPRC}\\pear"']
INI_HEAD = """; Dravelo_WEB_MONITOR's packaging: PHP takes extensions and includes from
; this folder (${PHPRC}), never from C:\\php, which any user of the PC may make.
"""
GUARD = "request-guard.php"
GUARD_SOURCE = pathlib.Path(__file__).resolve().parent.parent / "package/php" / GUARD
GUARD_LINES = f"""; The request guard runs before every script, then the auto_prepend_file
; that this file had, if any (dravelo.auto_prepend_file).
auto_prepend_file = "${{PHPRC}}\\{GUARD}"
"""
NEXT_PREPEND = "dravelo.auto_prepend_file"
# Loaded where the package writes php.ini and PHP has it: PHP's server then keeps
# the scripts it compiled, the guard's too. The name is found in extension_dir.
OPCACHE_DLL = "ext/php_opcache.dll"
OPCACHE_LINES = """; Opcache keeps compiled scripts; one changed on disk runs anew within 2 s.
zend_extension = opcache
"""
# A line of php.ini with its end: PHP ends lines at CR LF, CR or LF, nothing else.
INI_LINE = re.compile(r"[^\r\n]*(?:\r\n|\r|\n)|[^\r\n]+$")


class Refused(Exception):
    """An input that no package is made of."""


def machine(preset):
    return "i386" if preset == "win32" else "x86-64"


def files_under(folder):
    """The files in folder and its subfolders, by their paths relative to it."""
    folder = pathlib.Path(folder)
    return {p.relative_to(folder).as_posix(): p for p in folder.rglob("*") if p.is_file()}


def document_root(root):
    """The paths of the files and folders under root, which holds no symbolic link:
    one would be followed, and a private folder it leads to served."""
    paths = []
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = pathlib.Path(folder, name)
            if path.is_symlink():
                raise Refused(f"the document root {root} holds a symbolic link, {path}")
            paths.append(path.relative_to(root).as_posix())
    return paths


def ini_directives(lines):
    """(line number, name, value as written, value) of each setting in a php.ini's
    lines. A value of more than one quoted string is left as written, quotes and all."""
    found = []
    for number, line in enumerate(lines):
        match = re.match(r"\s*([\w.]+)\s*=\s*(.*?)\s*$", line)
        if match:
            written = value = match.group(2)
            quoted = re.fullmatch(r"""("[^"]*"|'[^']*')\s*(;.*)?""", written)
            if quoted:
                value = quoted.group(1)[1:-1]
            elif written[:1] not in ('"', "'"):
                value = written.split(";", 1)[0].strip()
            found.append((number, match.group(1), written, value))
    return found


def in_installation(path):
    """Whether a path that php.ini gives stays in the installation: below ${PHPRC}
    or relative to the installation folder, the server's working directory."""
    path = path.replace("/", "\\")
    if path.startswith("${PHPRC}"):
        path = path[len("${PHPRC}"):]
        if path[:1] not in ("", "\\"):
            return False
        path = path.lstrip("\\")
    elif path[:1] in ("", "\\"):
        return False
    return not re.search(r"""[:$"']""", path) and ".." not in path.split("\\")


def php_ini(text, zip_path, guard, opcache=False):
    """The php.ini of the package, from the ZIP's (text, or None): refused without
    extension_dir and include_path in the installation. The guard takes the place
    of its auto_prepend_file, which is commented out and run by the guard. One
    written, not given, loads opcache if the ZIP has it."""
    if text is None:
        text = INI_HEAD + "\n".join(INI_LINES) + "\n" + (OPCACHE_LINES if opcache else "")
        text = text.replace("\n", "\r\n")
    eol = "\r\n" if "\r\n" in text else "\n"
    # PHP skips a byte order mark at the start of the file only: it stays there.
    bom = "\xef\xbb\xbf" if text.startswith("\xef\xbb\xbf") else ""
    lines = INI_LINE.findall(text[len(bom):])
    directives = ini_directives(lines)
    last = {name: value for _, name, _, value in directives}
    for name in ("extension_dir", "include_path"):
        value = last.get(name, "")
        paths = value.split(";") if name == "include_path" else [value]
        if not value or not all(in_installation(p) for p in paths if p):
            done = f"sets {name} to {value}, outside the package" if value else f"lacks {name}"
            raise Refused(f"php.ini in {zip_path} {done}; give it the lines "
                          f"{INI_LINES[0]} and {INI_LINES[1]}")
    if guard:
        own = [(n, w, v) for n, name, w, v in directives if name == "auto_prepend_file"]
        for number, _, _ in own:
            lines[number] = ";" + lines[number]
        head = GUARD_LINES
        if own and own[-1][2] not in ("", f"${{PHPRC}}\\{GUARD}"):
            head += f"{NEXT_PREPEND} = {own[-1][1]}\n"
        lines.insert(0, head.replace("\n", eol))
    return bom + "".join(lines)


def stage(zip_path, www, bundle, preset, guard=True):
    """Checks the PHP ZIP, its php.ini and the document root and lays them out in
    bundle, with the php.ini of php_ini and, with guard, the request guard;
    returns the C runtime PHP needs and the ZIP lacks, or ""."""
    want = machine(preset)
    try:
        archive = zipfile.ZipFile(zip_path)
    except (OSError, zipfile.BadZipFile):
        raise Refused(f"{zip_path} is not a ZIP file") from None
    with archive:
        members = [m for m in archive.infolist() if not m.is_dir()]
        names = {m.filename for m in members}
        tops = {n.split("/", 1)[0] for n in archive.namelist()}
        if "php.exe" in names:
            prefix = ""
        elif len(tops) == 1 and f"{next(iter(tops))}/php.exe" in names:
            prefix = f"{next(iter(tops))}/"
        else:
            raise Refused(f"{zip_path} has no php.exe at its top level or in a single top folder")
        if any(n.startswith("/") or ":" in n or ".." in n.split("/") or "\\" in n for n in names):
            raise Refused(f"{zip_path} holds paths that lead out of its folder")
        exe = winfiles.program(archive.read(prefix + "php.exe"))
        if exe is None:
            raise Refused(f"php.exe in {zip_path} is not a Windows program")
        if exe.machine != want:
            raise Refused(f"php.exe in {zip_path} is an {exe.machine} program; "
                          f"the {preset} package needs an {want} one")

        root = pathlib.Path(www)
        if not root.is_dir():
            raise Refused(f"the document root {www} does not exist or is not a folder")
        if pathlib.Path(bundle).resolve().is_relative_to(root.resolve()):
            raise Refused(f"the document root {www} holds the build folder")
        served = document_root(root)
        if not any((root / p).is_file() for p in served):
            raise Refused(f"the document root {www} is empty")
        packaged = [n[len(prefix):] for n in names if n.startswith(prefix)]
        packaged += [f"www/public/{p}" for p in served]
        bad = sorted(n for n in packaged if BAD_NAME.search(n))
        if bad:
            raise Refused(f"the names {bad} hold control characters or one of "
                          '" * : < > ? \\ | ;, which the package cannot carry')

        top = {n[len(prefix):].lower(): n for n in names
               if n.startswith(prefix) and "/" not in n[len(prefix):]}
        if "php-cli-server.ini" in top:
            raise Refused(f"{zip_path} holds php-cli-server.ini, which PHP's server would read "
                          "instead of php.ini: put its settings into php.ini")
        if guard and GUARD in top:
            raise Refused(f"{zip_path} holds {GUARD}, the name of the package's request guard")
        given = archive.read(top["php.ini"]).decode("latin-1") if "php.ini" in top else None
        opcache = any(n[len(prefix):].lower() == OPCACHE_DLL for n in names)
        ini = php_ini(given, zip_path, guard, opcache)

        # PHP for Windows is built with Visual C++ and needs its runtime, which
        # the ZIP does not carry: name what php.exe and the DLLs beside it import.
        # Windows' names are the same in any case: VCRUNTIME140.DLL is vcruntime140.dll.
        needed = set()
        for name in sorted(top):
            if name == "php.exe" or name.endswith(".dll"):
                dll_file = winfiles.program(archive.read(top[name]))
                for dll in dll_file.imports() if dll_file else []:
                    if RUNTIME_DLL.fullmatch(dll) and dll.lower() not in top:
                        needed.add(dll)
        runtime = ""
        if needed:
            dlls = ", ".join(sorted(needed))
            digits = re.search(r"\d+", sorted(needed)[0]).group()
            years = RUNTIME_YEARS.get(digits, f"Visual C++ {digits}")
            arch = "x86" if preset == "win32" else "x64"
            runtime = (f"the Microsoft Visual C++ Redistributable for Visual Studio {years} "
                       f"({arch}, {dlls})")
            print(f"package: note: the ZIP does not carry {dlls}: PHP needs {runtime} "
                  "installed on the computers that run the package", file=sys.stderr)

        out = pathlib.Path(bundle)
        for member in members:
            if member.filename.startswith(prefix) and member.filename != top.get("php.ini"):
                target = out / member.filename[len(prefix):]
                target.parent.mkdir(parents=True, exist_ok=True)
                with archive.open(member) as source, open(target, "wb") as sink:
                    shutil.copyfileobj(source, sink)
    shutil.copytree(root, out / "www" / "public", dirs_exist_ok=True)
    (out / "php.ini").write_bytes(ini.encode("latin-1"))
    if guard:
        shutil.copyfile(GUARD_SOURCE, out / GUARD)
    print(f"{zip_path}: php.exe for {want}, {len(members)} files; {www} as php\\www\\public\\",
          file=sys.stderr)
    return runtime


def verify(zip_path, installer, nsis, name, preset, bundle, runtime, program, guard=True):
    """What is wrong with the ZIP, the installer and the tree and script NSIS
    made it from, all of the files in bundle (or the sample page and the guard)
    and program; prints the ZIP's first entries."""
    problems = []
    if bundle:
        source = {f"php/{p}": f for p, f in files_under(bundle).items()}
    else:
        source = {SAMPLE_PAGE: pathlib.Path("package") / SAMPLE_PAGE}
        if guard:
            source[f"php/{GUARD}"] = GUARD_SOURCE
    source[PROGRAM] = pathlib.Path(program)
    expected = {"README.txt"} | set(source)

    with zipfile.ZipFile(zip_path) as z:
        outside = [n for n in z.namelist() if not n.startswith(TOP)]
        if outside:
            problems.append(f"the ZIP holds {outside} outside {TOP}")
        names = [n.removeprefix(TOP) for n in z.namelist() if n != TOP]
        print(f"{zip_path}:")
        for info in z.infolist()[:20]:
            print(f"  {info.file_size:>9}  {info.filename}")
        if len(names) > 20:
            print(f"  ... {len(names)} entries")
        files = {n for n in names if not n.endswith("/")}
        dirs = {n for n in names if n.endswith("/")}
        folders = {f[:i + 1] for f in expected for i, c in enumerate(f) if c == "/"}
        if files != expected or not dirs <= folders or len(names) != len(set(names)):
            problems.append(f"the ZIP holds {sorted(files ^ expected)} where it should not, "
                            "or lacks them")
        if PROGRAM in files:
            exe = winfiles.program(z.read(TOP + PROGRAM))
            if exe is None or exe.machine != machine(preset):
                problems.append(f"{PROGRAM} is not a {preset} program")
        for path, original in source.items():
            if path in files and z.read(TOP + path) != original.read_bytes():
                problems.append(f"{path} differs from {original}")
        if "README.txt" in files:
            problems += readme_problems(z.read(TOP + "README.txt"), bundle, runtime, guard)

    data = pathlib.Path(installer).read_bytes() if pathlib.Path(installer).is_file() else b""
    if not data.startswith(b"MZ") or b"NullsoftInst" not in data:
        problems.append(f"{installer} is not an NSIS installer")
    return problems + installer_problems(pathlib.Path(nsis), name, expected)


def readme_problems(note, bundle, runtime, guard):
    problems = []
    if not note.count(b"\n") == note.count(b"\r") == note.count(b"\r\n") > 0:
        problems.append("README.txt does not have CR LF line ends throughout")
    texts = list(README_TEXTS)
    if not bundle:
        # Who adds PHP by hand is told the lines of php.ini.
        texts += README_PHP_TEXTS + [line.encode() for line in INI_LINES]
        if guard:
            texts.append(GUARD_LINES.splitlines()[-1].encode())
    elif runtime:
        texts.append(runtime.encode())
    elif b"Redistributable" in note:
        problems.append("README.txt names a C runtime that the bundled PHP does not lack")
    for text in texts:
        if text not in re.sub(rb"\s+", b" ", note):
            problems.append(f"README.txt does not mention {text.decode()}")
    return problems


def installer_problems(nsis, name, expected):
    """What is wrong with the tree and the script CPack generated for NSIS: the
    installer is built from the same staged tree as the ZIP."""
    problems = []
    staged = set(files_under(nsis / name))
    if staged != expected:
        problems.append(f"the installer's tree holds {sorted(staged ^ expected)} where it "
                        "should not, or lacks them")
    project = nsis / "project.nsi"
    script = project.read_text(encoding="utf-8-sig") if project.is_file() else ""
    if not re.search(r'^InstallDir "\$LOCALAPPDATA\\Programs\\Dravelo_WEB_MONITOR"$', script, re.M):
        problems.append(
            "the installer does not default to $LOCALAPPDATA\\Programs\\Dravelo_WEB_MONITOR")
    if not re.search(r"^RequestExecutionLevel user$", script, re.M):
        problems.append("the installer asks for more than user rights")
    if not re.search(r"^SetDateSave off$", script, re.M):
        problems.append("the installer keeps the build's file times")
    texts = [re.findall(rf"^LangString {text} \$\{{LANG_(\w+)\}} ", script, re.M)
             for text in ("OutsideProfile", "ForeignFolder")]
    page = (r"^!define MUI_PAGE_CUSTOMFUNCTION_LEAVE CheckFolder\s+"
            r"!insertmacro MUI_PAGE_DIRECTORY$")
    if not re.search(page, script, re.M) or texts != [["ENGLISH", "GERMAN"]] * 2:
        problems.append("the folder page does not refuse a folder that others filled and warn of "
                        "one outside the profile, in English and German")
    # Wine keeps no DACL (it maps one to the Unix mode bits): the script's calls are checked.
    if not re.search(r'"D:P\(A;OICI;FA;;;\$\d\)\(A;OICI;FA;;;SY\)\(A;OICI;FA;;;BA\)"', script) or \
            "SetNamedSecurityInfoW(w r2, i 1, i 0x80000005," not in script:
        problems.append("the installer does not give the folder it makes a protected DACL "
                        "of the user, SYSTEM and the Administrators")
    # A shortcut starts in $OUTDIR, which the last SetOutPath before it set.
    shortcuts = [m.start() for m in re.finditer(r"^\s*CreateShortCut ", script, re.M)]
    for at in shortcuts:
        if re.findall(r"^\s*SetOutPath (.*)$", script[:at], re.M)[-1:] != ['"$INSTDIR"']:
            problems.append('a shortcut does not start in "$INSTDIR": '
                            f"{script[at:].splitlines()[0].strip()}")
    if len(shortcuts) != 2:
        problems.append(f"the installer makes {len(shortcuts)} shortcuts, "
                        "not the Start-menu and the Startup one")
    return problems


def verify_install(drive, kept, bundle):
    """What is wrong with the installations in the default folder and in
    C:\\Dravelo, which an upgrade went over: the files of the packages, the
    files kept beforehand, the shortcuts and the folder they start in."""
    drive, kept = pathlib.Path(drive), pathlib.Path(kept)
    home = drive / "users" / getpass.getuser()
    problems = []
    expected = [PROGRAM, "Uninstall.exe", "README.txt"]
    expected += [f"php/{p}" for p in files_under(bundle)] if bundle else [SAMPLE_PAGE]
    for folder in [home / "AppData/Local/Programs/Dravelo_WEB_MONITOR", drive / "Dravelo"]:
        missing = [f for f in expected if not (folder / f).is_file()]
        if missing:
            problems.append(f"{folder} lacks {missing}")
    for f in kept.rglob("*"):
        now = drive / "Dravelo" / f.relative_to(kept)
        if f.is_file() and (not now.is_file() or now.read_bytes() != f.read_bytes()):
            problems.append(f"the upgrade did not keep {f.relative_to(kept)}")

    programs = home / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
    # Wine names the Startup folder StartUp.
    startup = next((d for d in programs.iterdir() if d.name.lower() == "startup"),
                   programs / "Startup")
    for shortcut in [programs / "Dravelo_WEB_MONITOR.lnk", startup / "Dravelo_WEB_MONITOR.lnk"]:
        if not shortcut.is_file():
            problems.append(f"no shortcut {shortcut.relative_to(home)}")
            continue
        start_in = winfiles.shortcut(shortcut).get("Working directory")
        if start_in != "C:\\Dravelo":
            problems.append(f"{shortcut.name} starts in {start_in!r}, not C:\\Dravelo")
    return problems


COMMANDS = {"stage": (stage, 5), "verify": (verify, 9), "verify-install": (verify_install, 3)}


def main(argv):
    command, count = COMMANDS.get(argv[0] if argv else "", (None, 0))
    if command is None or len(argv) - 1 != count:
        print(__doc__, file=sys.stderr)
        return 2
    args = argv[1:]
    if command in (stage, verify):
        if args[-1] not in ("guard", "no-guard"):
            print(__doc__, file=sys.stderr)
            return 2
        args[-1] = args[-1] == "guard"
    if command is stage:
        try:
            runtime = stage(*args)
        except Refused as refused:
            print(f"package: {refused}; no package made", file=sys.stderr)
            return 1
        if runtime:
            print(runtime)
        return 0
    problems = command(*args)
    for problem in problems:
        print(f"package: {problem}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
