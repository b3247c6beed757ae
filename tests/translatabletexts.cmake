# Fails when Qt's lupdate cannot take a user-visible text of the program for
# translation: a tr() it cannot place in a context (it warns), a text of the
# windows or of the logic library that no longer reaches it through tr(),
# QCoreApplication::translate or QT_TRANSLATE_NOOP, or a text with a count (%n)
# given no count, which then never gets its plural forms.
#
# Run as: cmake -DLUPDATE=<lupdate> -DSOURCE_DIR=<src> -DWORK_DIR=<folder> -P translatabletexts.cmake
if(NOT LUPDATE OR NOT EXISTS "${LUPDATE}")
    message(FATAL_ERROR "lupdate not found; bash scripts/deps.sh installs it (qt6-l10n-tools).")
endif()
file(MAKE_DIRECTORY "${WORK_DIR}")
set(ts "${WORK_DIR}/bin4870.ts")
file(REMOVE "${ts}")
execute_process(COMMAND "${LUPDATE}" -silent -locations none "${SOURCE_DIR}" -ts "${ts}"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(STRIP "${out}${err}" said)
if(NOT status EQUAL 0 OR NOT said STREQUAL "")
    message(FATAL_ERROR "lupdate (exit ${status}) warns:\n${said}")
endif()
file(READ "${ts}" catalogue)

# One text of each kind the operator sees, by its translation context:
# context|source text (as lupdate writes it into the catalogue).
set(expected
    "AboutWindow|BATTERY KELVANO BIN Measurement"
    "AboutWindow|Version %1.%2"
    "CounterWindow|RESISTANCE BIN NUM"
    "CounterWindow|RESET"
    "FormMainUi|Mode"
    "BinPanel|STEP ="
    "QualityWindow|Limits"
    "ControlCharts|moving range"
    "ShiftReport|From %1 to %2"
    "ReportCommand|--from must come before --to"
    "MeasurementSession|The tester does not answer - the values shown are old."
    "MeasurementSession|line lost, retrying %1 (%2)"
    "SerialPort|Cannot open serial port %1: %2"
    "TesterProfile|is missing"
    "Journal|the journal is not open"
    "RecordNotices|%1 could not be written (%2)"
    "Forwarder|Central record: up to date"
    "RegularFile|a named pipe"
    "HandsFreeOptions|Readings to settle"
    "SetupFiles|Cannot write %1"
    "ProcessStats|beyond a control limit"
    "Errors|Subscript out of range"
    "CellIds|The cell ID is empty."
    "CellIdOptions|%1: use printable ASCII characters without blanks."
    "CellIdOptionsDialog|Cell IDs")
set(missing "")
foreach(entry IN LISTS expected)
    string(FIND "${entry}" "|" bar)
    string(SUBSTRING "${entry}" 0 ${bar} context)
    math(EXPR from "${bar} + 1")
    string(SUBSTRING "${entry}" ${from} -1 text)
    string(FIND "${catalogue}" "<name>${context}</name>" start)
    if(start LESS 0)
        string(APPEND missing "\n  no context ${context}")
        continue()
    endif()
    string(SUBSTRING "${catalogue}" ${start} -1 rest)
    string(FIND "${rest}" "</context>" end)
    string(SUBSTRING "${rest}" 0 ${end} block)
    string(FIND "${block}" "<source>${text}</source>" found)
    if(found LESS 0)
        string(APPEND missing "\n  ${context}: \"${text}\"")
    endif()
endforeach()
if(missing)
    message(FATAL_ERROR "Texts lupdate does not find for translation:${missing}")
endif()

# lupdate marks a text numerus="yes" when it is given its count: tr(text,
# nullptr, n), QCoreApplication::translate(context, text, nullptr, n) or
# QT_TRANSLATE_N_NOOP. Semicolons would split CMake's list of matches.
string(REPLACE ";" "@SEMICOLON@" plain "${catalogue}")
string(REGEX MATCHALL "<message>[ \n]*<source>[^<]*%L?n[^<]*</source>" uncounted "${plain}")
if(uncounted)
    string(REGEX REPLACE "<message>[ \n]*<source>([^<]*)</source>" "\n  \\1" listed "${uncounted}")
    string(REPLACE ";" "" listed "${listed}")
    string(REPLACE "@SEMICOLON@" ";" listed "${listed}")
    message(FATAL_ERROR "Texts with %n but no count (use tr(text, nullptr, n) or QT_TRANSLATE_N_NOOP):${listed}")
endif()
list(LENGTH expected count)
message(STATUS "lupdate takes every checked text (${count}) and warns of nothing")
