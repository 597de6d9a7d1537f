# Makes a fresh table for the CInOutFileDB scripts through unixODBC's isql
# (cmake -P, run by ctest as the scripts' fixture).
#   BACKEND   sqlite or postgresql
#   DATABASE  the database as the script gets it: a SQLite database file (a
#             Unix path), or %NAME%: the ODBC connection string in the
#             environment variable NAME
#   TABLE     the table to drop and create: a primary key rid numbered by the
#             database, id integer, name varchar(20) and the binary img,
#             holding one row (id 1, name 'first', img Null)

foreach(required BACKEND DATABASE TABLE)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "TransferTable.cmake needs -D ${required}=...")
  endif()
endforeach()

# Writing into a row found by its key needs a way to tell the row apart:
# SQLite's rowid, or a primary key (PostgreSQL).
if(BACKEND STREQUAL "sqlite")
  set(columns "rid integer PRIMARY KEY, id integer, name varchar(20), img BLOB")
elseif(BACKEND STREQUAL "postgresql")
  set(columns "rid serial PRIMARY KEY, id integer, name varchar(20), img bytea")
else()
  message(FATAL_ERROR "TransferTable.cmake knows no backend ${BACKEND}")
endif()

if(DATABASE MATCHES "^%([A-Za-z_][A-Za-z0-9_]*)%$")
  set(connection "$ENV{${CMAKE_MATCH_1}}")
  if(connection STREQUAL "")
    message(FATAL_ERROR "${CMAKE_MATCH_1} is not set (./run test sets it when it starts PostgreSQL)")
  endif()
else()
  set(connection "DRIVER={SQLite3};Database=${DATABASE}")
endif()

# isql runs one statement per line.
set(statements "${CMAKE_CURRENT_BINARY_DIR}/${TABLE}.sql")
file(WRITE "${statements}"
  "DROP TABLE IF EXISTS ${TABLE}\n"
  "CREATE TABLE ${TABLE} (${columns})\n"
  "INSERT INTO ${TABLE} (id, name) VALUES (1, 'first')\n")
execute_process(
  COMMAND isql -b -v -k "${connection}"
  INPUT_FILE "${statements}"
  RESULT_VARIABLE exit_code
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
# A failing statement shows as an ERROR line, but isql still ends with 0.
if(NOT exit_code EQUAL 0 OR output MATCHES "ERROR")
  message(FATAL_ERROR "The table ${TABLE} could not be made (isql exit code ${exit_code}):\n${output}")
endif()
