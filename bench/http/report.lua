-- wrk: prints one machine-readable line of the run's figures (latencies in microseconds).
done = function(summary, latency, requests)
  local e = summary.errors
  io.write(string.format(
    "WRK requests=%d duration_us=%d bytes=%d connect=%d read=%d write=%d status=%d timeout=%d " ..
    "p50=%.0f p75=%.0f p90=%.0f p99=%.0f max=%.0f\n",
    summary.requests, summary.duration, summary.bytes, e.connect, e.read, e.write, e.status, e.timeout,
    latency:percentile(50), latency:percentile(75), latency:percentile(90), latency:percentile(99),
    latency.max))
end
