#pragma once
// Drives modal dialogs from inside their own event loop. A test registers
// what to do with the next window that shows and matches; when that window
// is shown, the action is queued so that it runs once the dialog's exec()
// loop is running. Purely event-driven: nothing sleeps or polls the clock.
// Header-only, for widget tests (they link Qt Widgets themselves).

#include <QApplication>
#include <QEvent>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

class ModalDriver {
public:
  using Match = std::function<bool(QWidget *)>;
  using Action = std::function<void(QWidget *)>;

  ModalDriver() = default;
  ModalDriver(const ModalDriver &) = delete;
  ModalDriver &operator=(const ModalDriver &) = delete;
  ~ModalDriver() {
    for (const QPointer<QObject> &w : m_watchers)
      delete w.data();
  }

  // Runs `act` once on the next window shown that `match` accepts.
  void next(Match match, Action act) { m_watchers << new Watcher(std::move(match), std::move(act), &m_fired); }
  // The same, for the next window of a given object name.
  void nextNamed(const QString &objectName, Action act) {
    next([objectName](QWidget *w) { return w->objectName() == objectName; }, std::move(act));
  }
  // The same, for the next window of class T.
  template <class T> void nextOf(std::function<void(T *)> act) {
    next([](QWidget *w) { return qobject_cast<T *>(w) != nullptr; }, [act](QWidget *w) { act(qobject_cast<T *>(w)); });
  }

  // How many actions have run.
  int fired() const { return m_fired; }

private:
  class Watcher : public QObject {
  public:
    Watcher(Match match, Action act, int *fired)
        : QObject(qApp), m_match(std::move(match)), m_act(std::move(act)), m_fired(fired) {
      qApp->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject *obj, QEvent *event) override {
      if (event->type() != QEvent::Show || m_done || !obj->isWidgetType())
        return false;
      auto *w = static_cast<QWidget *>(obj);
      if (!w->isWindow() || !m_match(w))
        return false;
      m_done = true;
      qApp->removeEventFilter(this);
      QPointer<QWidget> target(w);
      QTimer::singleShot(0, this, [this, target]() {
        if (target)
          m_act(target);
        ++*m_fired;
        deleteLater();
      });
      return false;
    }

  private:
    Match m_match;
    Action m_act;
    int *m_fired;
    bool m_done = false;
  };

  QList<QPointer<QObject>> m_watchers;
  int m_fired = 0;
};
