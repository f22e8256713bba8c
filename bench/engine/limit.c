/* The limit for the engine benchmarks: plain C over an mmap of the table, doing by hand the
 * work the engine does (every field of every record; the TIPO/VISUALIZZA count; the sweep
 * with one pwrite per record). Fixed layout: DESCRIZIO C40, DIR C20, VISUALIZZA L, TIPO N1. */
#include "bench/engine/limit.h"

#include <fcntl.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

struct Mapped {
  int fd;
  const unsigned char* base;
  size_t size;
  unsigned header, length, count;
};

static int MapTable(const char* path, int writable, struct Mapped* m) {
  struct stat st;
  m->fd = open(path, writable ? O_RDWR : O_RDONLY);
  if (m->fd < 0 || fstat(m->fd, &st) != 0) return 0;
  m->size = (size_t)st.st_size;
  m->base = mmap(NULL, m->size, PROT_READ, MAP_SHARED, m->fd, 0);
  if (m->base == MAP_FAILED) return 0;
  m->count = (unsigned)(m->base[4] | m->base[5] << 8 | m->base[6] << 16 | (unsigned)m->base[7] << 24);
  m->header = (unsigned)(m->base[8] | m->base[9] << 8);
  m->length = (unsigned)(m->base[10] | m->base[11] << 8);
  return 1;
}

static void Unmap(struct Mapped* m) {
  munmap((void*)m->base, m->size);
  close(m->fd);
}

static size_t TrimmedCopy(char* out, const unsigned char* in, size_t width) {
  while (width > 0 && in[width - 1] == ' ') --width;
  memcpy(out, in, width);
  out[width] = 0;
  return width;
}

long LimitScan(const char* path) {
  struct Mapped m;
  long sum = 0;
  char descrizio[41], dir[21];
  if (!MapTable(path, 0, &m)) return -1;
  for (unsigned r = 0; r < m.count; ++r) {
    const unsigned char* rec = m.base + m.header + (size_t)r * m.length;
    sum += (long)TrimmedCopy(descrizio, rec + 1, 40);
    sum += (long)TrimmedCopy(dir, rec + 41, 20);
    sum += rec[61] == 'T' || rec[61] == 't' || rec[61] == 'Y' || rec[61] == 'y';
    sum += rec[62] >= '0' && rec[62] <= '9' ? rec[62] - '0' : 0;
  }
  Unmap(&m);
  return sum;
}

long LimitQuery(const char* path) {
  struct Mapped m;
  long count = 0;
  if (!MapTable(path, 0, &m)) return -1;
  for (unsigned r = 0; r < m.count; ++r) {
    const unsigned char* rec = m.base + m.header + (size_t)r * m.length;
    unsigned char v = rec[61];
    count += rec[62] == '1' && (v == 'T' || v == 't' || v == 'Y' || v == 'y');
  }
  Unmap(&m);
  return count;
}

long LimitSweep(const char* path) {
  struct Mapped m;
  long sum = 0;
  unsigned char record[256];
  char dir[21];
  if (!MapTable(path, 1, &m) || m.length > sizeof record) return -1;
  for (unsigned r = 0; r < m.count; ++r) {
    size_t at = m.header + (size_t)r * m.length;
    memcpy(record, m.base + at, m.length);
    sum += (long)TrimmedCopy(dir, record + 41, 20);
    record[61] = (r & 1) ? 'T' : 'F';
    if (pwrite(m.fd, record, m.length, (off_t)at) != (ssize_t)m.length) sum = -1;
  }
  Unmap(&m);
  return sum;
}
