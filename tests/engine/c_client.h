/* The C client of the engine (c_client.c), for the test that calls it. */
#ifndef VELLORIA_TESTS_ENGINE_C_CLIENT_H_
#define VELLORIA_TESTS_ENGINE_C_CLIENT_H_

#ifdef __cplusplus
extern "C" {
#endif

/* Entry points in the C table of the one list (the list's length). */
int c_client_entry_point_count(void);
/* Opens the table at path shared with full commits, checks the answers the header's enums
 * name, writes memo_text to memo field `field` of the first record and closes the table.
 * Returns the table's language driver, or -1 when a step failed. */
int c_client_visit(const char* path, const char* field, const char* memo_text);

#ifdef __cplusplus
}
#endif

#endif  /* VELLORIA_TESTS_ENGINE_C_CLIENT_H_ */
