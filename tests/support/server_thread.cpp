#include "server_thread.h"

#include <QEventLoop>
#include <QSemaphore>
#include <QThread>

ServerThread::ServerThread(std::function<quint16(QObject& owner)> listen)
{
    QSemaphore listening;
    m_thread.reset(QThread::create([this, &listening, listen = std::move(listen)] {
        QObject owner;
        m_port = listen(owner);
        if (m_port == 0)
            qFatal("test server cannot listen");
        listening.release();
        QEventLoop loop;
        loop.exec();
    }));
    m_thread->start();
    listening.acquire();
}

ServerThread::~ServerThread()
{
    m_thread->quit();
    m_thread->wait();
}
