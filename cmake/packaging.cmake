# Release packages: a ZIP with one top folder Dravelo_WEB_MONITOR\ and a
# per-user NSIS installer, both with the installation folder's layout:
#   Dravelo_WEB_MONITOR.exe
#   README.txt                  what the folder holds, PHP, start with Windows
#   php/www/public/index.php    a sample page
#   php/request-guard.php       the request guard, for the php.ini the user makes
# With MONITOR_PACKAGE_BUNDLE naming a folder laid out as php/ (a PHP for
# Windows with its php.ini and request guard, and www/public/ with an
# application), that folder is shipped as php/ instead (scripts/package --php
# --www prepares it).

set(MONITOR_PACKAGE_SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/package)
set(MONITOR_PACKAGE_BUNDLE "" CACHE PATH "Folder shipped as php/: PHP for Windows and www/public/")
set(MONITOR_PACKAGE_RUNTIME "" CACHE STRING "The C runtime the bundled PHP needs and does not carry")
option(MONITOR_PACKAGE_REQUEST_GUARD "Without a bundle: php/ gets the request guard" ON)
# scripts/package --sign: the signed copy of the program that the packages take,
# and the command that signs the uninstaller and the installer (FILE DESCRIPTION).
set(MONITOR_PACKAGE_PROGRAM "" CACHE FILEPATH "The program the packages hold; empty: the one built")
set(MONITOR_PACKAGE_SIGN_COMMAND "" CACHE FILEPATH "Signs the uninstaller and the installer; empty: unsigned")

# README.txt's part on PHP. Each of its sentences, as those of package/README.txt,
# stands in docs/user-guide.md as it is: scripts/check-docs finds one that does not.
if(MONITOR_PACKAGE_BUNDLE)
  set(MONITOR_README_PHP "PHP
  php\\ holds PHP for Windows, and php\\www\\public\\ the application that
  comes with the package. php\\php.ini keeps PHP's extensions and includes
  in the installation folder: keep its lines extension_dir and include_path.")
  if(MONITOR_PACKAGE_RUNTIME)
    string(APPEND MONITOR_README_PHP "
  This PHP needs
  ${MONITOR_PACKAGE_RUNTIME}.
  It is not in the package: if the server does not start, install it from
  Microsoft's download pages.")
  endif()
else()
  set(MONITOR_README_PHP "PHP
  Dravelo_WEB_MONITOR does not bring PHP with it. Put a portable PHP for
  Windows into the php folder, so that the file php\\php.exe exists:
    1. Open windows.php.net and go to Downloads.
    2. Take the zip marked \"Non Thread Safe\" of a current PHP version.
    3. Unpack it into the php folder, so that php.exe lies directly in it.
    4. Make a text file php.ini in the php folder (in Notepad: save as type
       \"All files\", or it becomes php.ini.txt) with these lines:
         extension_dir = \"\${PHPRC}\\ext\"
         include_path = \".;\${PHPRC}\\pear\"")
  if(MONITOR_PACKAGE_REQUEST_GUARD)
    string(APPEND MONITOR_README_PHP "
         auto_prepend_file = \"\${PHPRC}\\request-guard.php\"")
  endif()
  string(APPEND MONITOR_README_PHP "
  Without the first two, PHP takes extensions from C:\\php\\ext and includes
  files from C:\\php\\pear, folders that any user of this PC can make. A
  php.ini of your own must set them too.")
  if(MONITOR_PACKAGE_REQUEST_GUARD)
    string(APPEND MONITOR_README_PHP "
  The last line runs request-guard.php, which comes with the package,
  before every PHP page: it turns away requests that other web sites send
  to the server.")
  endif()
  string(APPEND MONITOR_README_PHP "
  PHP for Windows needs the Microsoft Visual C++ Redistributable that the
  download page names (for current versions the one for Visual Studio
  2015-2022, vcruntime140.dll); install it if php.exe does not start.
  index.php in php\\www\\public\\ is a sample page to replace with your own.")
endif()

# Windows tools read the note; keep its line ends CR LF whatever the checkout did.
# NEWLINE_STYLE converts the input's lines only, not those of the text put in,
# hence a second pass.
configure_file(${MONITOR_PACKAGE_SOURCE_DIR}/README.txt ${CMAKE_CURRENT_BINARY_DIR}/package/README.lf
               @ONLY)
configure_file(${CMAKE_CURRENT_BINARY_DIR}/package/README.lf ${CMAKE_CURRENT_BINARY_DIR}/package/README.txt
               @ONLY NEWLINE_STYLE CRLF)

if(MONITOR_PACKAGE_PROGRAM)
  install(PROGRAMS ${MONITOR_PACKAGE_PROGRAM} DESTINATION . COMPONENT Application)
else()
  install(TARGETS Dravelo_WEB_MONITOR RUNTIME DESTINATION . COMPONENT Application)
endif()
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/package/README.txt DESTINATION . COMPONENT Application)
if(MONITOR_PACKAGE_BUNDLE)
  install(DIRECTORY ${MONITOR_PACKAGE_BUNDLE}/ DESTINATION php COMPONENT Application)
  set(CPACK_MONITOR_SAMPLE_PAGE "")
else()
  install(FILES ${MONITOR_PACKAGE_SOURCE_DIR}/php/www/public/index.php
          DESTINATION php/www/public COMPONENT Application)
  if(MONITOR_PACKAGE_REQUEST_GUARD)
    install(FILES ${MONITOR_PACKAGE_SOURCE_DIR}/php/request-guard.php DESTINATION php
            COMPONENT Application)
  endif()
  set(CPACK_MONITOR_SAMPLE_PAGE index.php)
endif()

# The uninstaller's list of the package's files and folders, a folder after what
# it holds. NSIS expands "$" in its strings, and CPack's own list leaves it as it
# is: a file named "a$0.php" would be taken for "a" and register 0.
set(packaged_files Dravelo_WEB_MONITOR.exe README.txt)
set(packaged_folders php)
if(MONITOR_PACKAGE_BUNDLE)
  file(GLOB_RECURSE bundled LIST_DIRECTORIES true RELATIVE ${MONITOR_PACKAGE_BUNDLE}
       ${MONITOR_PACKAGE_BUNDLE}/*)
  foreach(path IN LISTS bundled)
    if(IS_DIRECTORY ${MONITOR_PACKAGE_BUNDLE}/${path})
      list(APPEND packaged_folders php/${path})
    else()
      list(APPEND packaged_files php/${path})
    endif()
  endforeach()
else()
  list(APPEND packaged_files php/www/public/index.php)
  if(MONITOR_PACKAGE_REQUEST_GUARD)
    list(APPEND packaged_files php/request-guard.php)
  endif()
  list(APPEND packaged_folders php/www php/www/public)
endif()
list(SORT packaged_folders ORDER DESCENDING)
set(uninstall_list "")
foreach(kind IN ITEMS files folders)
  foreach(path IN LISTS packaged_${kind})
    string(REPLACE "$" "$$" path "${path}")
    string(REPLACE "/" "\\" path "${path}")
    if(kind STREQUAL files)
      string(APPEND uninstall_list "  Delete \"$INSTDIR\\${path}\"\n")
    else()
      string(APPEND uninstall_list "  RMDir \"$INSTDIR\\${path}\"\n")
    endif()
  endforeach()
endforeach()
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/package/uninstall.nsh "${uninstall_list}")
set(CPACK_MONITOR_UNINSTALL_LIST ${CMAKE_CURRENT_BINARY_DIR}/package/uninstall.nsh)

# Only the Application component goes into the packages, whatever else may
# carry install rules (GoogleTest, test programs); and CPack builds nothing
# else before it installs them (scripts/package builds the program).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_CURRENT_BINARY_DIR};${PROJECT_NAME};Application;/")

set(CPACK_PACKAGE_NAME Dravelo_WEB_MONITOR)
set(CPACK_PACKAGE_VENDOR Dravelo)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Runs a local PHP web application with PHP's built-in web server")
set(CPACK_PACKAGE_VERSION_MAJOR ${PROJECT_VERSION_MAJOR})
set(CPACK_PACKAGE_VERSION_MINOR ${PROJECT_VERSION_MINOR})
set(CPACK_PACKAGE_VERSION_PATCH "")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_MONITOR_NSIS_TARGET amd64-unicode)
else()
  set(CPACK_SYSTEM_NAME win32)
  set(CPACK_MONITOR_NSIS_TARGET x86-unicode)
endif()
set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-${CPACK_SYSTEM_NAME}")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/packages)
set(CPACK_GENERATOR ZIP NSIS)
# The ZIP's one top folder is set per generator (cmake/packaging_generator.cmake).
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/packaging_generator.cmake)

# NSIS: our own template (package/nsis/NSIS.template.in) installs per user.
# The program writes Dravelo_WEB_MONITOR.CFG into its working directory, the
# installation folder, so that folder must be writable without elevation.
set(CPACK_MODULE_PATH ${MONITOR_PACKAGE_SOURCE_DIR}/nsis ${CMAKE_MODULE_PATH})
set(CPACK_PACKAGE_INSTALL_DIRECTORY Dravelo_WEB_MONITOR)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Dravelo_WEB_MONITOR)
set(CPACK_NSIS_INSTALL_ROOT "$LOCALAPPDATA\\\\Programs")  # Escaped twice: CPackConfig.cmake is read again.
set(CPACK_NSIS_PACKAGE_NAME Dravelo_WEB_MONITOR)
set(CPACK_NSIS_DISPLAY_NAME Dravelo_WEB_MONITOR)
set(CPACK_NSIS_INSTALLED_ICON_NAME Dravelo_WEB_MONITOR.exe)
set(CPACK_NSIS_UNINSTALL_NAME Uninstall)
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
set(CPACK_NSIS_MUI_ICON ${CMAKE_CURRENT_SOURCE_DIR}/assets/app.ico)
set(CPACK_NSIS_MUI_UNIICON ${CMAKE_CURRENT_SOURCE_DIR}/assets/app.ico)
set(CPACK_MONITOR_SIGN_COMMAND "${MONITOR_PACKAGE_SIGN_COMMAND}")

include(CPack)
