/* The hand-written limit the engine benchmarks compare against (plain C over mmap). */
#ifndef VELLORIA_BENCH_ENGINE_LIMIT_H_
#define VELLORIA_BENCH_ENGINE_LIMIT_H_

#ifdef __cplusplus
extern "C" {
#endif

/* Reads every field of every record; returns a checksum, -1 on error. */
long LimitScan(const char* path);
/* Counts records with TIPO 1 and VISUALIZZA true. */
long LimitQuery(const char* path);
/* For each record: reads DIR, sets VISUALIZZA, writes the record with one pwrite. */
long LimitSweep(const char* path);

#ifdef __cplusplus
}
#endif

#endif /* VELLORIA_BENCH_ENGINE_LIMIT_H_ */
