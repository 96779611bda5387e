"""What the program plays, as ALSA receives it: an .asoundrc in a home of
the test's own makes the default device write every played sample to a
named pipe, and a thread reads the pipe with the time each piece arrives.

    cap = SoundCapture(env.root)
    p = env.start(extra_env=cap.env())      # the program's process uses that home
    cap.wait_size(n)                         # bytes played so far
    cap.data, cap.first_time_at(offset)      # the samples; when byte offset arrived
    cap.close()

The pipe stays open for reading all the time (and for writing by the
reader itself), so every opening of the device by the program writes on
without a truncation or an end of file between files.
"""
import os
import select
import struct
import threading
import time


def wave_samples(path):
    """The sample data of a RIFF wave file (the "data" chunk)."""
    with open(path, 'rb') as f:
        blob = f.read()
    if blob[:4] != b'RIFF' or blob[8:12] != b'WAVE':
        raise ValueError('not a wave file: ' + path)
    off = 12
    while off + 8 <= len(blob):
        ident, size = blob[off:off + 4], struct.unpack('<I', blob[off + 4:off + 8])[0]
        if ident == b'data':
            return blob[off + 8:off + 8 + size]
        off += 8 + size
    raise ValueError('no data chunk: ' + path)


class SoundCapture:
    def __init__(self, root):
        self.home = os.path.join(root, 'sound-home')
        os.makedirs(self.home, exist_ok=True)
        self.pipe = os.path.join(self.home, 'played.raw')
        if not os.path.exists(self.pipe):
            os.mkfifo(self.pipe)
        with open(os.path.join(self.home, '.asoundrc'), 'w') as f:
            f.write('pcm.!default { type file; slave.pcm "null"; file "%s"; format "raw" }\n' % self.pipe)
        self.fd = os.open(self.pipe, os.O_RDWR | os.O_NONBLOCK)
        self.data = bytearray()
        self.arrivals = []  # (monotonic time, total bytes after the piece)
        self.lock = threading.Lock()
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def env(self):
        return {'HOME': self.home}

    def _read(self):
        while not self.stopping.is_set():
            ready, _, _ = select.select([self.fd], [], [], 0.05)
            if not ready:
                continue
            try:
                piece = os.read(self.fd, 1 << 16)
            except BlockingIOError:
                continue
            now = time.monotonic()
            with self.lock:
                self.data += piece
                self.arrivals.append((now, len(self.data)))

    def size(self):
        with self.lock:
            return len(self.data)

    def snapshot(self):
        with self.lock:
            return bytes(self.data)

    def wait_size(self, n, seconds=30):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            if self.size() >= n:
                return True
            time.sleep(0.05)
        return self.size() >= n

    def wait_quiet(self, seconds=1.5, limit=30):
        """Waits until nothing arrived for `seconds` (at most `limit`)."""
        end = time.monotonic() + limit
        while time.monotonic() < end:
            with self.lock:
                last = self.arrivals[-1][0] if self.arrivals else 0
            if time.monotonic() - last >= seconds:
                return True
            time.sleep(0.1)
        return False

    def first_time_at(self, offset):
        """When the byte at `offset` arrived (None: not yet)."""
        with self.lock:
            for t, total in self.arrivals:
                if total > offset:
                    return t
        return None

    def close(self):
        self.stopping.set()
        self.thread.join(5)
        os.close(self.fd)
