#include "archive/archive_alarm_store.h"

namespace {

bool Overlap(const TAlarmEvent &a, const TAlarmEvent &b) {
  return a.Kind == b.Kind && a.Start <= b.Start + b.Seconds && b.Start <= a.Start + a.Seconds;
}

}  // namespace

QStringList AlarmSchema(const TArchiveDialect &dialect) {
  QStringList s;
  // Channels 1 to 16 as the records' columns and v_registros number them;
  // temperatures in tenths, times as the records' instants.
  s << "CREATE TABLE alarma_limites (registrador BIGINT NOT NULL REFERENCES registradores (id), canal INTEGER NOT "
       "NULL CHECK (canal BETWEEN 1 AND 16), inferior INTEGER, superior INTEGER, retardo_min INTEGER NOT NULL CHECK "
       "(retardo_min >= 0), histeresis INTEGER NOT NULL CHECK (histeresis >= 0), PRIMARY KEY (registrador, canal))";
  s << "CREATE TABLE alarma_eventos (id " + dialect.KeyColumn() +
           ", registrador BIGINT NOT NULL REFERENCES registradores (id), canal INTEGER NOT NULL CHECK (canal BETWEEN "
           "1 AND 16), tipo TEXT NOT NULL CHECK (tipo IN ('alta', 'baja')), inicio BIGINT NOT NULL, fin BIGINT, "
           "segundos BIGINT NOT NULL, extremo INTEGER NOT NULL, instante_extremo BIGINT NOT NULL)";
  s << "CREATE INDEX alarma_eventos_canal ON alarma_eventos (registrador, canal, inicio)";
  s << "CREATE INDEX alarma_eventos_inicio ON alarma_eventos (registrador, inicio)";
  s << "CREATE TABLE alarma_reconocimientos (id " + dialect.KeyColumn() +
           ", evento BIGINT NOT NULL REFERENCES alarma_eventos (id), usuario TEXT NOT NULL, hora_pc BIGINT NOT NULL, "
           "comentario TEXT NOT NULL)";
  s << "CREATE INDEX alarma_reconocimientos_evento ON alarma_reconocimientos (evento)";
  // An audit trail is only one if nothing can rewrite it, not even a tool
  // that reaches the tables past this program: the engine refuses.
  const char *trail = "los reconocimientos de alarmas no se modifican ni se borran";
  const char *acknowledged = "un evento de alarma reconocido no se borra ni se cambia una vez cerrado";
  if (dialect.Engine == TArchiveEngine::SQLite) {
    s << QString(
             "CREATE TRIGGER alarma_reconocimientos_sin_cambios BEFORE UPDATE ON alarma_reconocimientos BEGIN "
             "SELECT RAISE(ABORT, '%1'); END")
             .arg(trail);
    s << QString(
             "CREATE TRIGGER alarma_reconocimientos_sin_borrar BEFORE DELETE ON alarma_reconocimientos BEGIN "
             "SELECT RAISE(ABORT, '%1'); END")
             .arg(trail);
    s << QString(
             "CREATE TRIGGER alarma_eventos_reconocidos_sin_borrar BEFORE DELETE ON alarma_eventos WHEN EXISTS "
             "(SELECT 1 FROM alarma_reconocimientos WHERE evento = OLD.id) BEGIN SELECT RAISE(ABORT, '%1'); END")
             .arg(acknowledged);
    s << QString(
             "CREATE TRIGGER alarma_eventos_reconocidos_sin_cambios BEFORE UPDATE ON alarma_eventos WHEN "
             "OLD.fin IS NOT NULL AND EXISTS (SELECT 1 FROM alarma_reconocimientos WHERE evento = OLD.id) BEGIN "
             "SELECT RAISE(ABORT, '%1'); END")
             .arg(acknowledged);
  } else {
    s << QString(
             "CREATE OR REPLACE FUNCTION talvex_reconocimiento_fijo() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
             "RAISE "
             "EXCEPTION '%1'; END $$")
             .arg(trail);
    s << "CREATE TRIGGER alarma_reconocimientos_fijos BEFORE UPDATE OR DELETE ON alarma_reconocimientos FOR EACH ROW "
         "EXECUTE FUNCTION talvex_reconocimiento_fijo()";
    s << QString(
             "CREATE OR REPLACE FUNCTION talvex_evento_reconocido_fijo() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
             "IF "
             "EXISTS (SELECT 1 FROM alarma_reconocimientos WHERE evento = OLD.id) AND (TG_OP = 'DELETE' OR "
             "OLD.fin IS NOT NULL) THEN RAISE EXCEPTION '%1'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END "
             "IF; RETURN NEW; END $$")
             .arg(acknowledged);
    s << "CREATE TRIGGER alarma_eventos_reconocidos_fijos BEFORE UPDATE OR DELETE ON alarma_eventos FOR EACH ROW "
         "EXECUTE FUNCTION talvex_evento_reconocido_fijo()";
  }
  s << "CREATE VIEW v_alarmas (id, registrador, canal, tipo, inicio, fin, segundos, extremo, instante_extremo, "
       "reconocimientos) AS SELECT e.id, g.nombre, e.canal, e.tipo, " +
           dialect.InstantExpression("e.inicio") + ", CASE WHEN e.fin IS NULL THEN NULL ELSE " +
           dialect.InstantExpression("e.fin") + " END, e.segundos, ROUND(e.extremo / 10.0, 1), " +
           dialect.InstantExpression("e.instante_extremo") +
           ", (SELECT COUNT(*) FROM alarma_reconocimientos a WHERE a.evento = e.id) FROM alarma_eventos e JOIN "
           "registradores g ON g.id = e.registrador";
  return s;
}

TAlarmEventChanges ReconcileAlarmEvents(const std::vector<THeldAlarmEvent> &held,
                                        const std::vector<TAlarmEvent> &found) {
  TAlarmEventChanges changes;
  std::vector<bool> matched(held.size(), false);
  for (const TAlarmEvent &f : found) {
    size_t same = held.size();
    for (size_t i = 0; i < held.size() && same == held.size(); ++i) {
      if (!matched[i] && held[i].Event.Kind == f.Kind && held[i].Event.Start == f.Start) same = i;
    }
    if (same < held.size()) {
      matched[same] = true;
      const THeldAlarmEvent &h = held[same];
      if (h.Event == f) continue;
      if (!h.Acknowledged || !h.Event.End) changes.Update.emplace_back(h.Id, f);
      continue;
    }
    bool covered = false;
    for (const THeldAlarmEvent &h : held) covered = covered || (h.Acknowledged && Overlap(h.Event, f));
    if (!covered) changes.Insert.push_back(f);
  }
  for (size_t i = 0; i < held.size(); ++i) {
    if (!matched[i] && !held[i].Acknowledged) changes.Drop.push_back(held[i].Id);
  }
  return changes;
}
