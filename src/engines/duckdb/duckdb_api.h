#ifndef CORVENMARK_DUCKDB_API_H_
#define CORVENMARK_DUCKDB_API_H_

// The functions of DuckDB's C API that the program calls, as a table of pointers that the
// library fills when it is loaded at run time. The program is never linked against DuckDB; the
// header only gives each pointer its type.

#include <duckdb.h>

#include <string>

namespace Corvenmark {

// The one list of functions used. Streaming a result needs
// duckdb_pending_prepared_streaming: the C API has no other way to read a result without
// holding all of it, though it marks that function as deprecated.
#define CORVENMARK_DUCKDB_FUNCTIONS(X)      \
  X(duckdb_library_version)                 \
  X(duckdb_create_config)                   \
  X(duckdb_set_config)                      \
  X(duckdb_destroy_config)                  \
  X(duckdb_open_ext)                        \
  X(duckdb_close)                           \
  X(duckdb_connect)                         \
  X(duckdb_disconnect)                      \
  X(duckdb_free)                            \
  X(duckdb_query)                           \
  X(duckdb_destroy_result)                  \
  X(duckdb_result_error)                    \
  X(duckdb_result_error_type)               \
  X(duckdb_result_return_type)              \
  X(duckdb_column_count)                    \
  X(duckdb_column_name)                     \
  X(duckdb_column_logical_type)             \
  X(duckdb_destroy_logical_type)            \
  X(duckdb_get_type_id)                     \
  X(duckdb_rows_changed)                    \
  X(duckdb_fetch_chunk)                     \
  X(duckdb_extract_statements)              \
  X(duckdb_extract_statements_error)        \
  X(duckdb_destroy_extracted)               \
  X(duckdb_prepare_extracted_statement)     \
  X(duckdb_prepare)                         \
  X(duckdb_prepare_error)                   \
  X(duckdb_destroy_prepare)                 \
  X(duckdb_prepared_statement_column_count) \
  X(duckdb_prepared_statement_column_name)  \
  X(duckdb_prepared_statement_column_type)  \
  X(duckdb_prepared_statement_type)         \
  X(duckdb_decimal_internal_type)           \
  X(duckdb_decimal_width)                   \
  X(duckdb_decimal_scale)                   \
  X(duckdb_execute_prepared)                \
  X(duckdb_pending_prepared_streaming)      \
  X(duckdb_pending_error)                   \
  X(duckdb_execute_pending)                 \
  X(duckdb_destroy_pending)                 \
  X(duckdb_data_chunk_get_size)             \
  X(duckdb_data_chunk_set_size)             \
  X(duckdb_data_chunk_get_column_count)     \
  X(duckdb_data_chunk_get_vector)           \
  X(duckdb_destroy_data_chunk)              \
  X(duckdb_vector_get_data)                 \
  X(duckdb_vector_get_validity)             \
  X(duckdb_vector_reference_vector)         \
  X(duckdb_string_t_length)                 \
  X(duckdb_string_t_data)                   \
  X(duckdb_create_table_function)           \
  X(duckdb_destroy_table_function)          \
  X(duckdb_table_function_set_name)         \
  X(duckdb_table_function_set_extra_info)   \
  X(duckdb_table_function_set_bind)         \
  X(duckdb_table_function_set_init)         \
  X(duckdb_table_function_set_function)     \
  X(duckdb_register_table_function)         \
  X(duckdb_bind_get_extra_info)             \
  X(duckdb_bind_add_result_column)          \
  X(duckdb_bind_set_error)                  \
  X(duckdb_init_set_error)                  \
  X(duckdb_function_set_error)              \
  X(duckdb_init_set_init_data)              \
  X(duckdb_function_get_extra_info)         \
  X(duckdb_function_get_init_data)          \
  X(duckdb_appender_create)                 \
  X(duckdb_appender_error_data)             \
  X(duckdb_error_data_message)              \
  X(duckdb_error_data_error_type)           \
  X(duckdb_destroy_error_data)              \
  X(duckdb_append_int64)                    \
  X(duckdb_append_double)                   \
  X(duckdb_append_bool)                     \
  X(duckdb_append_null)                     \
  X(duckdb_append_blob)                     \
  X(duckdb_append_varchar_length)           \
  X(duckdb_append_varchar)                  \
  X(duckdb_appender_end_row)                \
  X(duckdb_appender_close)                  \
  X(duckdb_appender_flush)                  \
  X(duckdb_append_data_chunk)               \
  X(duckdb_create_logical_type)             \
  X(duckdb_create_data_chunk)               \
  X(duckdb_data_chunk_reset)                \
  X(duckdb_vector_size)                     \
  X(duckdb_vector_ensure_validity_writable) \
  X(duckdb_validity_set_row_invalid)        \
  X(duckdb_vector_assign_string_element_len) \
  X(duckdb_appender_destroy)

/// DuckDB's functions, each under its own name and with its own type.
struct DuckDbApi {
#define CORVENMARK_DUCKDB_POINTER(name) decltype(&::name) name = nullptr;
  CORVENMARK_DUCKDB_FUNCTIONS(CORVENMARK_DUCKDB_POINTER)
#undef CORVENMARK_DUCKDB_POINTER
};

/// The loaded library's functions, or null when the library could not be loaded. The library is
/// looked for, and loaded, on the first call only; the engines that do not use DuckDB never
/// make that call.
const DuckDbApi* DuckDb();

/// Why DuckDb() answers null, for example "DuckDB library not found: /opt/cm/bin/libduckdb.so"
/// or "DuckDB library v1.1.3 found at /opt/cm/bin/libduckdb.so; this program needs v1.5.6";
/// empty when the library is loaded.
const std::string& DuckDbLoadError();

}  // namespace Corvenmark

#endif  // CORVENMARK_DUCKDB_API_H_
